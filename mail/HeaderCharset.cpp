#include "HeaderCharset.h"

#include <cstdlib>
#include <cstring>

#include "GbkText.h"

namespace murmel {
namespace {

// Full-width forms of U+FF61..U+FF9F.
constexpr char16_t kWideKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Reads the three-byte UTF-8 form of a half-width katakana at text[i], or 0.
char32_t HalfWidthKanaAt(std::string_view text, size_t i) {
    if (i + 2 >= text.size() || static_cast<unsigned char>(text[i]) != 0xEF) return 0;
    char32_t c = ((static_cast<unsigned char>(text[i]) & 0x0F) << 12) |
                 ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3F);
    return c >= 0xFF61 && c <= 0xFF9F ? c : 0;
}

char32_t Voiced(char32_t half, char32_t mark) {
    bool kaToTo = half >= 0xFF76 && half <= 0xFF84;
    bool haToHo = half >= 0xFF8A && half <= 0xFF8E;
    if (mark == 0xFF9E && half == 0xFF73) return 0x30F4;  // vu
    if (mark == 0xFF9E && (kaToTo || haToHo)) return kWideKana[half - 0xFF61] + 1;
    if (mark == 0xFF9F && haToHo) return kWideKana[half - 0xFF61] + 2;
    return 0;
}

std::string WidenKana(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        char32_t half = HalfWidthKanaAt(utf8, i);
        if (!half) {
            out += utf8[i++];
            continue;
        }
        char32_t merged = Voiced(half, HalfWidthKanaAt(utf8, i + 3));
        AppendUtf8(out, merged ? merged : kWideKana[half - 0xFF61]);
        i += merged ? 6 : 3;
    }
    return out;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

THeaderCharset SimplifiedChineseCharset() { return {"GB2312", 'B', THeaderMode::hm8Bit, "GBK"}; }
THeaderCharset TraditionalChineseCharset() { return {"Big5", 'B', THeaderMode::hm8Bit, "CP950"}; }
THeaderCharset JapaneseCharset() { return {"ISO-2022-JP", 'B', THeaderMode::hmIso2022Jp, "CP932"}; }
THeaderCharset KoreanCharset() { return {"EUC-KR", 'B', THeaderMode::hm8Bit, "CP949"}; }
THeaderCharset LatinCharset() { return {"ISO-8859-1", 'Q', THeaderMode::hm8Bit, "ISO-8859-1"}; }
THeaderCharset Utf8Charset() { return FieldCharset(true, LatinCharset()); }

THeaderCharset HeaderCharsetForLocale(std::string_view locale) {
    std::string_view language = locale.substr(0, locale.find_first_of("_.@-"));
    if (language == "ja") return JapaneseCharset();
    if (language == "ko") return KoreanCharset();
    if (language == "zh") {
        std::string_view region = locale.substr(language.size());
        if (StartsWith(region, "_TW") || StartsWith(region, "_HK") || StartsWith(region, "_MO") ||
            StartsWith(region, "-Hant") || StartsWith(region, "_Hant"))
            return TraditionalChineseCharset();
    }
    return SimplifiedChineseCharset();
}

THeaderCharset HeaderCharset() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return HeaderCharsetForLocale(value);
    }
    return HeaderCharsetForLocale("");
}

std::string Utf8ToCodePage(std::string_view utf8, const THeaderCharset& charset) {
    return ConvertText(utf8, charset.codePage.c_str(), "UTF-8", true);
}

std::string GbkToCodePage(std::string_view gbk, const THeaderCharset& charset) {
    if (charset.codePage == "GBK") return std::string(gbk);
    return Utf8ToCodePage(ConvertText(gbk, "UTF-8", "GBK", false), charset);
}

TMailText Utf8ToMailText(std::string_view utf8, const THeaderCharset& charset) {
    std::string bytes = Utf8ToCodePage(utf8, charset);
    // A character the code page lacks, or bytes that are no UTF-8 at all, do not
    // come back as they went in.
    if (ConvertText(bytes, "UTF-8", charset.codePage.c_str(), false) == utf8) return {bytes, false};
    return {std::string(utf8), true};
}

TMailText GbkToMailText(std::string_view gbk, const THeaderCharset& charset) {
    if (charset.codePage == "GBK") return {std::string(gbk), false};
    return Utf8ToMailText(ConvertText(gbk, "UTF-8", "GBK", false), charset);
}

bool FitsGb2312(std::string_view gbk) {
    for (size_t i = 0; i < gbk.size(); ++i) {
        unsigned char lead = static_cast<unsigned char>(gbk[i]);
        if (lead < 0x80) continue;
        unsigned char trail = i + 1 < gbk.size() ? static_cast<unsigned char>(gbk[i + 1]) : 0;
        if (lead < 0xA1 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE) return false;
        ++i;
    }
    return true;
}

THeaderCharset LabelFor(std::string_view bytes, const THeaderCharset& charset) {
    if (charset.name != "GB2312" || FitsGb2312(bytes)) return charset;
    THeaderCharset gbk = charset;
    gbk.name = "GBK";
    return gbk;
}

std::string ShiftJisToIso2022Jp(std::string_view shiftJis) {
    std::string utf8 = WidenKana(ConvertText(shiftJis, "UTF-8", "CP932", false));
    return ConvertText(utf8, "ISO-2022-JP", "UTF-8", true);
}

}  // namespace murmel
