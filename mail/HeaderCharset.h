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
// Text that the locale's code page cannot hold goes out as UTF-8.
THeaderCharset Utf8Charset();

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

// Text for one field of a message: in the row's code page when that holds every
// character, else the UTF-8 text itself, so that nothing typed is lost.
struct TMailText {
    std::string bytes;
    bool utf8 = false;
};
TMailText Utf8ToMailText(std::string_view utf8, const THeaderCharset& charset);
TMailText GbkToMailText(std::string_view gbk, const THeaderCharset& charset);

// True when every double-byte character of the GBK text lies in GB2312.
bool FitsGb2312(std::string_view gbk);

// The row to label these bytes with: "GBK" instead of "GB2312" when the text
// holds characters that GB2312 lacks; the row itself otherwise.
THeaderCharset LabelFor(std::string_view bytes, const THeaderCharset& charset);

// The row for a field: UTF-8 when the field holds UTF-8, else the locale's row.
inline const THeaderCharset& FieldCharset(bool utf8, const THeaderCharset& charset) {
    static const THeaderCharset kUtf8{"UTF-8", 'B', THeaderMode::hm8Bit, "UTF-8"};
    return utf8 ? kUtf8 : charset;
}

// Shift_JIS text to ISO-2022-JP, half-width katakana widened first (a following
// voiced or semi-voiced sound mark merges into the character).
std::string ShiftJisToIso2022Jp(std::string_view shiftJis);

}  // namespace murmel
