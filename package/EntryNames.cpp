#include "EntryNames.h"

#include <cstdio>

#include "GbkText.h"

namespace murmel {
namespace {

bool IsAsciiControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// U+0080..U+009F, which terminals take as C1 controls (CSI among them).
bool IsC1Control(std::string_view utf8, size_t at) {
    return at + 1 < utf8.size() && static_cast<unsigned char>(utf8[at]) == 0xC2 &&
           static_cast<unsigned char>(utf8[at + 1]) >= 0x80 &&
           static_cast<unsigned char>(utf8[at + 1]) <= 0x9F;
}

bool HasControl(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size(); ++i)
        if (IsAsciiControl(static_cast<unsigned char>(utf8[i])) || IsC1Control(utf8, i))
            return true;
    return false;
}

}  // namespace

std::string EntryNameForDisplay(std::string_view gbkName) {
    const std::string utf8 = GbkToUtf8(gbkName);
    std::string shown;
    char escape[8];
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (IsAsciiControl(byte)) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            shown += escape;
        } else if (IsC1Control(utf8, i)) {
            std::snprintf(escape, sizeof escape, "\\u00%02x",
                          static_cast<unsigned char>(utf8[++i]));
            shown += escape;
        } else if (byte == '\\') {
            shown += "\\\\";
        } else {
            shown += utf8[i];
        }
    }
    return shown;
}

std::string EntryFileName(std::string_view gbkName) {
    const std::string name = GbkToUtf8(gbkName);
    if (name.empty() || name == "." || name.find('/') != std::string::npos ||
        name.find("..") != std::string::npos || HasControl(name))
        throw EUnsafeEntryName("unsafe entry name \"" + EntryNameForDisplay(gbkName) +
                               "\": nothing unpacked");
    return name;
}

}  // namespace murmel
