#pragma once
#include <string>
#include <string_view>

namespace murmel {

enum class THeaderMode { hm8Bit, hmIso2022Jp };

// One row of the mail charset table: the label written into encoded words and
// body declarations, the code page the message text is held in, and how header
// text is encoded.
struct THeaderCharset {
    std::string name;  // "GB2312", "Big5", "ISO-2022-JP", "EUC-KR", "ISO-8859-1"
    char letter;       // 'B' or 'Q'
    THeaderMode mode;
    std::string codePage;  // iconv name of the text's code page
};

THeaderCharset SimplifiedChineseCharset();
THeaderCharset TraditionalChineseCharset();
THeaderCharset JapaneseCharset();
THeaderCharset KoreanCharset();
THeaderCharset LatinCharset();

// The row for a locale name such as "zh_CN.UTF-8". Locales that are not
// Chinese, Japanese or Korean get the Simplified Chinese row: the product's own
// text is Chinese and would be lost under a Latin-1 label.
THeaderCharset HeaderCharsetForLocale(std::string_view locale);

// The row for the locale of the environment: the first non-empty of LC_ALL,
// LC_CTYPE, LANG.
THeaderCharset HeaderCharset();

// UTF-8 text to the row's code page; what the code page cannot hold becomes "?".
std::string Utf8ToCodePage(std::string_view utf8, const THeaderCharset& charset);

// GBK text (settings values) to the row's code page.
std::string GbkToCodePage(std::string_view gbk, const THeaderCharset& charset);

// Shift_JIS text to ISO-2022-JP, half-width katakana widened first (a following
// voiced or semi-voiced sound mark merges into the character).
std::string ShiftJisToIso2022Jp(std::string_view shiftJis);

}  // namespace murmel
