#include "GbkText.h"

#include <gtest/gtest.h>

using namespace murmel;

TEST(GbkTextTest, NamesFoldAsciiLettersOnly) {
    EXPECT_TRUE(SameNameNoCase("SoundSetup", "soundsetup"));
    EXPECT_FALSE(SameNameNoCase("\xC4\x41", "\xC4\x61"));       // trail bytes never fold
    EXPECT_TRUE(SameNameNoCase("a\xC4\x41z", "A\xC4\x41Z"));     // letters after a pair do
    EXPECT_FALSE(SameNameNoCase("\xC4\x41\x61", "\xC4\x41\x62"));
    EXPECT_LT(CompareNamesNoCase("BGMusic", "ctrinfo"), 0);
    EXPECT_LT(CompareNamesNoCase("CtrInfo", "Mp3File"), 0);
    EXPECT_LT(CompareNamesNoCase("ab", "ABC"), 0);
    EXPECT_GT(CompareNamesNoCase("\xB0\xA1", "z"), 0);  // Chinese after ASCII
}

TEST(GbkTextTest, ConvertsBothWaysAndReplacesWhatCannotBeHeld) {
    const std::string zhangSan = "\xD5\xC5\xC8\xFD";
    EXPECT_EQ(GbkToUtf8(zhangSan), "张三");
    EXPECT_EQ(Utf8ToGbk("张三"), zhangSan);
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80" "b"), "a?b");  // an emoji has no GBK form
    EXPECT_EQ(GbkToUtf8("x\xD5"), "x?");                   // a cut-off pair
}
