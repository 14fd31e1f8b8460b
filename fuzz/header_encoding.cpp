// Any header text through encoded words and folding: encoded words stay within
// 75 columns, carry the label their bytes really are (GB2312 only for text that
// fits it), never end inside a UTF-8 character, and folded lines are never empty
// and continue with white space. The text of a field either keeps the code page
// losslessly or stays UTF-8.
#include <cstdint>
#include <string>

#include "GbkText.h"
#include "IdHeaderCoding.h"

namespace {

void CheckFolded(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) __builtin_trap();
        if (i > 0 && lines[i][0] != ' ' && lines[i][0] != '\t') __builtin_trap();
    }
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string DecodeBase64(std::string_view text) {
    std::string out;
    unsigned bits = 0, count = 0;
    for (char c : text) {
        int value = Base64Value(c);
        if (value < 0) break;
        bits = (bits << 6) | static_cast<unsigned>(value);
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

bool IsUtf8(const std::string& text) {
    std::string wide = murmel::ConvertText(text, "UTF-32LE", "UTF-8", true);
    return murmel::ConvertText(wide, "UTF-8", "UTF-32LE", false) == text;
}

// Every encoded word of the label, from "=?" to "?=": at most 75 bytes, and for
// UTF-8 text never starting with a continuation byte.
void CheckWords(const std::string& encoded, const std::string& label, bool wholeUtf8) {
    std::string begin = "=?" + label + "?";
    for (size_t at = encoded.find(begin); at != std::string::npos;
         at = encoded.find(begin, at + 2)) {
        size_t end = encoded.find("?=", at + begin.size() + 2);
        if (end == std::string::npos || end + 2 - at > 75) __builtin_trap();
        if (!wholeUtf8) continue;
        std::string bytes = DecodeBase64(
            std::string_view(encoded).substr(at + begin.size() + 2, end - at - begin.size() - 2));
        if (!bytes.empty() && (static_cast<unsigned char>(bytes[0]) & 0xC0) == 0x80)
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const murmel::THeaderCharset rows[] = {murmel::SimplifiedChineseCharset(),
                                                  murmel::LatinCharset(), murmel::JapaneseCharset(),
                                                  murmel::Utf8Charset()};
    const murmel::THeaderCharset& row = rows[data[0] % 4];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string specials = (data[0] & 4) ? std::string(murmel::kRfc822Specials) : std::string();
    std::string encoded = murmel::EncodeHeaderText(text, specials, row);
    // Unless the text itself holds something that looks like an encoded word.
    if (text.find("=?") == std::string::npos) {
        bool gb = row.name == "GB2312";
        if (gb && !murmel::FitsGb2312(text) && encoded.find("=?GB2312?") != std::string::npos)
            __builtin_trap();
        CheckWords(encoded, gb ? murmel::LabelFor(text, row).name : row.name,
                   row.codePage == "UTF-8" && IsUtf8(text));
    }
    // Header text never holds CR or LF (the message refuses it before writing), and
    // white space is copied as it stands.
    if (text.find_first_of("\r\n") == std::string::npos) {
        CheckFolded(murmel::FoldHeaderLine("Subject: " + encoded));
        CheckFolded(murmel::FoldHeaderLine(text));
    }
    murmel::TIdHeaderList headers;
    headers.SetValue("X-Test", text);
    headers.SetValue("x-test", encoded);

    if (row.codePage != "UTF-8") {
        murmel::TMailText field = murmel::Utf8ToMailText(text, row);
        if (field.utf8
                ? field.bytes != text
                : murmel::ConvertText(field.bytes, "UTF-8", row.codePage.c_str(), false) != text)
            __builtin_trap();
    }
    return 0;
}
