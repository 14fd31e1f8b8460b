// Any header text through encoded words and folding: encoded words stay within
// 75 columns and folded lines are never empty and continue with white space.
#include <cstdint>
#include <string>

#include "IdHeaderCoding.h"

namespace {

void CheckFolded(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) __builtin_trap();
        if (i > 0 && lines[i][0] != ' ' && lines[i][0] != '\t') __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const murmel::THeaderCharset rows[] = {
        murmel::SimplifiedChineseCharset(), murmel::LatinCharset(), murmel::JapaneseCharset()};
    const murmel::THeaderCharset& row = rows[data[0] % 3];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string specials = (data[0] & 4) ? std::string(murmel::kRfc822Specials) : std::string();
    std::string encoded = murmel::EncodeHeaderText(text, specials, row);
    // Each encoded word, from "=?" to "?=", is at most 75 bytes (unless the text
    // itself holds something that looks like one).
    bool plainMarkers = text.find("=?") != std::string::npos;
    for (size_t at = encoded.find("=?" + row.name); !plainMarkers && at != std::string::npos;
         at = encoded.find("=?" + row.name, at + 2)) {
        size_t end = encoded.find("?=", at + row.name.size() + 4);
        if (end == std::string::npos || end + 2 - at > 75) __builtin_trap();
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
    return 0;
}
