#include "AddressBookFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <new>

#include "GbkText.h"
#include "LinkedFiles.h"
#include "SafeFile.h"

namespace murmel {
namespace {

// A face is a decimal integer with an optional sign, nothing else around it.
bool ParseFace(std::string_view text, int32_t& face) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return false;
    }
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, face);
    return error == std::errc() && stop == end;
}

// Splits one line: face text before the first ":", name up to the next ":", the
// rest is the address. Without a second ":" the name is empty and the rest is the
// address; without any ":" the face text is empty.
void SplitLine(std::string_view line, std::string_view& face, std::string_view& name,
               std::string_view& address) {
    size_t first = line.find(':');
    if (first == std::string_view::npos) {
        face = {};
        name = {};
        address = line;
        return;
    }
    face = line.substr(0, first);
    std::string_view rest = line.substr(first + 1);
    size_t second = rest.find(':');
    if (second == std::string_view::npos) {
        name = {};
        address = rest;
        return;
    }
    name = rest.substr(0, second);
    address = rest.substr(second + 1);
}

}  // namespace

void ParseAddressBook(std::string_view text, AddressBookContents& contents) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(at, next - at);
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) {  // hand-edited files may hold blank lines; the entries after them count
            at = next;
            continue;
        }
        std::string_view face, name, address;
        SplitLine(line, face, name, address);
        AddressEntry entry;
        if (!ParseFace(face, entry.Face)) {
            contents.UnreadTail.assign(text.substr(at));
            throw EAddressBookError("'" + std::string(face) + "' is not a valid integer value");
        }
        entry.Name = name;
        entry.Address = address;
        try {
            contents.Rows.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            contents.Warnings.push_back("Wrong Email Format!");
        }
        at = next;
    }
}

void LoadAddressBook(const std::string& path, AddressBookContents& contents) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 && errno == ENOENT) throw EFileError("File not found");
    std::vector<uint8_t> bytes = ReadRegularFile(path, kMaxAddressBookBytes);
    ParseAddressBook(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                     contents);
}

std::string FormatAddressBook(const std::vector<AddressEntry>& rows, std::string_view unreadTail) {
    std::string text;
    for (const AddressEntry& row : rows)
        text += std::to_string(row.Face) + ":" + row.Name + ":" + row.Address + "\r\n";
    text += unreadTail;
    return text;
}

void SaveAddressBook(const std::string& path, const std::vector<AddressEntry>& rows,
                     std::string_view unreadTail) {
    for (const AddressEntry& row : rows) CheckAddressEntry(row);
    std::string text = FormatAddressBook(rows, unreadTail);
    ReplaceFileAtomically(WriteThroughTarget(path), text.data(), text.size(), FileSharing::Private);
}

void CheckAddressEntry(const AddressEntry& entry) {
    if (entry.Name.find_first_of(":\r\n") != std::string::npos)
        throw EAddressBookError(Utf8ToGbk("姓名中不能含有冒号(:)或换行，请修改姓名"));
    if (entry.Address.find_first_of("\r\n") != std::string::npos)
        throw EAddressBookError(Utf8ToGbk("邮件地址中不能含有换行，请修改邮件地址"));
}

}  // namespace murmel
