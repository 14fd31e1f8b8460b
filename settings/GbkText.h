#pragma once
#include <string>
#include <string_view>

namespace murmel {

// Names in settings files and voice mails are GBK bytes. They compare without
// regard to the case of ASCII letters; the trail byte of a double-byte character
// (after a lead byte 0x81-0xFE) is never folded, so that two different Chinese
// names such as C4 41 and C4 61 stay different.
int CompareNamesNoCase(std::string_view a, std::string_view b);
inline bool SameNameNoCase(std::string_view a, std::string_view b) {
    return CompareNamesNoCase(a, b) == 0;
}

// Conversions at the edge where Qt or the terminal (UTF-8) meets file text (GBK).
// Characters that cannot be converted become "?"; nothing throws.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace murmel
