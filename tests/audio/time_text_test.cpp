#include <gtest/gtest.h>

#include <climits>

#include "MMUtils.h"

using murmel::FormatTimeText;

TEST(FormatTimeTextTest, AllThreeFormsAndTheirBoundaries) {
    EXPECT_EQ(FormatTimeText(0, true), "0:00.000");
    EXPECT_EQ(FormatTimeText(65250, true), "1:05.250");
    EXPECT_EQ(FormatTimeText(65250, false), "1:05");
    EXPECT_EQ(FormatTimeText(3599999, true), "59:59.999");
    EXPECT_EQ(FormatTimeText(3600000, true), "1:00:00.000");
    EXPECT_EQ(FormatTimeText(3600000, false), "1:00:00");
    EXPECT_EQ(FormatTimeText(86399999, true), "23:59:59.999");
    EXPECT_EQ(FormatTimeText(86400000, true), "1:00:00:00.000");
    EXPECT_EQ(FormatTimeText(90061001, true), "1:01:01:01.001");
    EXPECT_EQ(FormatTimeText(90061001, false), "1:01:01:01");
}

TEST(FormatTimeTextTest, NegativeValuesGetASign) {
    EXPECT_EQ(FormatTimeText(-65250, true), "-1:05.250");
    EXPECT_EQ(FormatTimeText(LLONG_MIN, false).front(), '-');
    EXPECT_FALSE(FormatTimeText(LLONG_MAX, true).empty());
}
