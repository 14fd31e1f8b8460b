#pragma once
// The address book file "Address/Default.txt": one entry per line, face, name and
// address separated by ":", GBK text, lines ended by CR LF.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace murmel {

// A line the loader cannot read, or an entry that cannot be stored without
// corrupting the file. Messages are GBK text (they may quote the file's bytes).
class EAddressBookError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One person: face index (0 to 77 names a picture; others are kept as they are),
// name and address as GBK bytes.
struct AddressEntry {
    int32_t Face = 0;
    std::string Name;
    std::string Address;
    bool operator==(const AddressEntry&) const = default;
};

// What a load found. When a line stops the loading, that line and everything
// after it are kept verbatim in UnreadTail, so that the next save writes them back
// instead of dropping entries the user never saw.
struct AddressBookContents {
    std::vector<AddressEntry> Rows;
    std::string UnreadTail;
    std::vector<std::string> Warnings;  // one "Wrong Email Format!" per refused row
};

constexpr const char* kAddressBookFile = "Address/Default.txt";
// Far beyond any book people keep, below what would exhaust memory.
constexpr uint64_t kMaxAddressBookBytes = 1ull << 30;

// Splits file text into rows. Empty lines are skipped. A face that is not a decimal
// integer throws EAddressBookError("'TEXT' is not a valid integer value") after
// filling `contents` with the rows before it and the unread tail.
void ParseAddressBook(std::string_view text, AddressBookContents& contents);

// Reads the file at `path` into `contents`. A missing file throws EFileError("File
// not found"), another unreadable file EFileError naming path and reason; a bad
// line as ParseAddressBook. Rows read before a failure stay in `contents`.
void LoadAddressBook(const std::string& path, AddressBookContents& contents);

// The file text for `rows` followed by `unreadTail`.
std::string FormatAddressBook(const std::vector<AddressEntry>& rows, std::string_view unreadTail);

// Replaces the file at `path` whole (sibling temporary file renamed over it, the
// old file's mode kept), so a failed save leaves the old book intact. A link the
// user made to a book of their own is written through (WriteThroughTarget); no
// other link is followed. Refuses rows
// CheckAddressEntry rejects before touching the file. Throws EFileError or
// EAddressBookError.
void SaveAddressBook(const std::string& path, const std::vector<AddressEntry>& rows,
                     std::string_view unreadTail = {});

// Throws EAddressBookError with a message for the user when the entry would not
// survive a save and a load: a name holding ":" or a line break, an address
// holding a line break.
void CheckAddressEntry(const AddressEntry& entry);

}  // namespace murmel
