#include "PrintableText.h"

#include <cstdio>

namespace murmel {
namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0 when there is none.
size_t SequenceLength(std::string_view text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if (lead == 0xE0 && byte(at + 1) < 0xA0) return 0;
    if (lead == 0xED && byte(at + 1) > 0x9F) return 0;
    if (lead == 0xF0 && byte(at + 1) < 0x90) return 0;
    if (lead == 0xF4 && byte(at + 1) > 0x8F) return 0;
    return length;
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

}  // namespace

std::string PrintableText(std::string_view utf8) {
    std::string shown;
    shown.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const size_t length = SequenceLength(utf8, i);
        if (length == 0 || (length == 1 && (byte < 0x20 || byte == 0x7F))) {
            AppendEscape(shown, "\\x%02x", byte);
            ++i;
        } else if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            AppendEscape(shown, "\\u00%02x", static_cast<unsigned char>(utf8[i + 1]));
            i += 2;
        } else {
            shown.append(utf8, i, length);
            i += length;
        }
    }
    return shown;
}

std::string PrintableLine(std::string_view utf8) {
    std::string line;
    line.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
        line += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
    }
    return PrintableText(line);
}

}  // namespace murmel
