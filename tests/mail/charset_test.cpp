// The charset row from the locale and the conversions into its code page.
#include <gtest/gtest.h>

#include <cstdlib>

#include "HeaderCharset.h"
#include "IdHeaderCoding.h"

namespace murmel {
namespace {

TEST(HeaderCharset, RowsFromTheLocaleName) {
    EXPECT_EQ(HeaderCharsetForLocale("zh_CN.UTF-8").name, "GB2312");
    EXPECT_EQ(HeaderCharsetForLocale("zh_SG").name, "GB2312");
    EXPECT_EQ(HeaderCharsetForLocale("zh_TW.Big5").name, "Big5");
    EXPECT_EQ(HeaderCharsetForLocale("zh_HK.UTF-8").name, "Big5");
    EXPECT_EQ(HeaderCharsetForLocale("ja_JP.UTF-8").name, "ISO-2022-JP");
    EXPECT_EQ(HeaderCharsetForLocale("ko_KR.EUC-KR").name, "EUC-KR");
    // Not Chinese, Japanese or Korean: the product's Chinese text needs the GB row.
    for (const char* other : {"en_US.UTF-8", "C", "POSIX", "", "de_DE@euro"}) {
        THeaderCharset row = HeaderCharsetForLocale(other);
        EXPECT_EQ(row.name, "GB2312") << other;
        EXPECT_EQ(row.letter, 'B');
    }
}

TEST(HeaderCharset, EnvironmentOrderIsLcAllLcCtypeLang) {
    setenv("LANG", "ja_JP.UTF-8", 1);
    setenv("LC_CTYPE", "ko_KR.UTF-8", 1);
    setenv("LC_ALL", "", 1);
    EXPECT_EQ(HeaderCharset().name, "EUC-KR");
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(HeaderCharset().name, "Big5");
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    EXPECT_EQ(HeaderCharset().name, "ISO-2022-JP");
    unsetenv("LANG");
    EXPECT_EQ(HeaderCharset().name, "GB2312");
}

TEST(HeaderCharset, UnconvertibleCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCodePage("a\xF0\x9F\x98\x80"
                             "b",
                             SimplifiedChineseCharset()),
              "a?b");
    EXPECT_EQ(Utf8ToCodePage("\xE4\xBD\xA0", SimplifiedChineseCharset()), "\xC4\xE3");
    EXPECT_EQ(Utf8ToCodePage("caf\xC3\xA9 \xE4\xBD\xA0", LatinCharset()), "caf\xE9 ?");
    EXPECT_EQ(Utf8ToCodePage("\xE4\xBD\xA0", TraditionalChineseCharset()), "\xA7\x41");
    EXPECT_EQ(GbkToCodePage("\xD6\xD0", KoreanCharset()), "\xF1\xE9");
}

TEST(HeaderCharset, HalfWidthKatakanaIsWidenedForIso2022Jp) {
    // Shift_JIS half-width KA + voiced mark, then half-width A: "ガア" in JIS X 0208.
    EXPECT_EQ(ShiftJisToIso2022Jp("\xB6\xDE\xB1"), "\x1B$B%,%\"\x1B(B");
    // Half-width HA + semi-voiced mark: "パ".
    EXPECT_EQ(ShiftJisToIso2022Jp("x\xCA\xDFy"), "x\x1B$B%Q\x1B(By");
    THeaderCharset jis = JapaneseCharset();
    std::string encoded = EncodeHeaderText("\x93\xFA\x96\x7B ok", "", jis);  // "日本 ok"
    EXPECT_EQ(encoded, "=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= ok");
}

}  // namespace
}  // namespace murmel

namespace murmel {
namespace {

TEST(MailText, CodePageWhenEverythingFitsElseUtf8) {
    THeaderCharset gb = SimplifiedChineseCharset();
    TMailText fits = Utf8ToMailText("你好 ok", gb);
    EXPECT_FALSE(fits.utf8);
    EXPECT_EQ(fits.bytes, "\xC4\xE3\xBA\xC3 ok");
    for (const char* lost : {"a\xF0\x9F\x98\x80", "\xED\x95\x9C", "\xC3\x9F", "bad \xFF utf-8"}) {
        TMailText text = Utf8ToMailText(lost, gb);
        EXPECT_TRUE(text.utf8) << lost;
        EXPECT_EQ(text.bytes, lost);
    }
    EXPECT_FALSE(GbkToMailText("\xD6\xD0", KoreanCharset()).utf8);      // 中 is in CP949
    TMailText simplified = GbkToMailText("\xC3\xC7", KoreanCharset());  // 们 is not
    EXPECT_TRUE(simplified.utf8);
    EXPECT_EQ(simplified.bytes, "\xE4\xBB\xAC");
}

TEST(MailText, Gb2312LabelOnlyForBytesThatFitIt) {
    EXPECT_TRUE(FitsGb2312("ok \xC4\xE3"));
    EXPECT_FALSE(FitsGb2312("\xE9\x46"));  // 镕
    EXPECT_FALSE(FitsGb2312("\xC4"));      // a lead byte alone
    THeaderCharset gb = SimplifiedChineseCharset();
    EXPECT_EQ(LabelFor("\xC4\xE3", gb).name, "GB2312");
    EXPECT_EQ(LabelFor("\xE9\x46", gb).name, "GBK");
    EXPECT_EQ(LabelFor("\xE9\x46", TraditionalChineseCharset()).name, "Big5");
}

}  // namespace
}  // namespace murmel
