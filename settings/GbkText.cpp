#include "GbkText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace murmel {
namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

size_t Utf8Length(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Ends a stateful encoding's shift (ISO-2022-JP) so that what follows is ASCII.
void ResetShift(iconv_t cd, std::string& out) {
    char buffer[16];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
}

}  // namespace

std::string ConvertText(std::string_view text, const char* to, const char* from, bool fromUtf8) {
    if (text.empty()) return {};
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
        ResetShift(cd, out);
        out += '?';
        unsigned char lead = static_cast<unsigned char>(*in);
        size_t skip = fromUtf8 ? Utf8Length(lead) : (lead >= 0x81 && inLeft > 1 ? 2 : 1);
        skip = std::min(skip, inLeft);
        in += skip;
        inLeft -= skip;
    }
    ResetShift(cd, out);
    iconv_close(cd);
    return out;
}

int CompareNamesNoCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    bool trail = false;
    for (; i < a.size() && i < b.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (!trail) {
            x = FoldAscii(x);
            y = FoldAscii(y);
        }
        if (x != y) return x < y ? -1 : 1;
        // Equal bytes: both names are in the same place of a character.
        trail = !trail && IsLeadByte(static_cast<unsigned char>(a[i]));
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string GbkToUtf8(std::string_view gbk) { return ConvertText(gbk, "UTF-8", "GBK", false); }

std::string Utf8ToGbk(std::string_view utf8) { return ConvertText(utf8, "GBK", "UTF-8", true); }

bool FitsGbk(std::string_view utf8) { return GbkToUtf8(Utf8ToGbk(utf8)) == utf8; }

}  // namespace murmel
