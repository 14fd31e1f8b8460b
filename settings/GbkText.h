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
// The general form: converts between any two iconv code pages; fromUtf8 tells how
// far to skip past a sequence the target cannot hold (one UTF-8 character, or one
// double-byte character of the source page). Stateful targets end unshifted.
std::string ConvertText(std::string_view text, const char* to, const char* from, bool fromUtf8);
std::string Utf8ToGbk(std::string_view utf8);
// True when UTF-8 text survives the trip to GBK and back unchanged, so that what
// the user typed is what a GBK file will hold.
bool FitsGbk(std::string_view utf8);

}  // namespace murmel
