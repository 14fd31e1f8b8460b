// Any bytes as an address book: parsing either succeeds or stops with its own
// error, and writing back what was read (rows plus the unread tail) and reading it
// again gives the same rows, so a save never loses an entry.
#include <cstdint>
#include <string>

#include "AddressBookFile.h"

namespace {

bool Parse(const std::string& text, murmel::AddressBookContents& contents) {
    try {
        murmel::ParseAddressBook(text, contents);
        return true;
    } catch (const murmel::EAddressBookError&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    murmel::AddressBookContents first;
    bool complete = Parse(text, first);
    if (complete != first.UnreadTail.empty()) __builtin_trap();
    std::string saved = murmel::FormatAddressBook(first.Rows, first.UnreadTail);
    murmel::AddressBookContents second;
    bool completeAgain = Parse(saved, second);
    if (completeAgain != complete || second.Rows != first.Rows ||
        second.UnreadTail != first.UnreadTail)
        __builtin_trap();
    return 0;
}
