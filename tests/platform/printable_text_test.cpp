// Text from outside on its way to a terminal or a window.
#include <gtest/gtest.h>

#include "PrintableText.h"

namespace murmel {
namespace {

TEST(PrintableText, ControlsAndBytesThatAreNotUtf8BecomeVisibleEscapes) {
    for (auto [text, shown] :
         {std::pair<std::string, std::string>{"550 \x1b]0;pwned\x07", "550 \\x1b]0;pwned\\x07"},
          {"\x1b[2J\x1b[31mred\x7f", "\\x1b[2J\\x1b[31mred\\x7f"},
          {"csi \xc2\x9b"
           "31m nbsp \xc2\xa0",
           "csi \\u009b31m nbsp \xc2\xa0"},
          {"raw \x9b"
           "31m \xff",
           "raw \\x9b31m \\xff"},
          {"overlong \xc0\xaf surrogate \xed\xa0\x80",
           "overlong \\xc0\\xaf surrogate \\xed\\xa0\\x80"},
          {"C:\\new\\语音.mvm", "C:\\new\\语音.mvm"},  // escaped once stays as it is
          {std::string("nul \0 end", 9), "nul \\x00 end"},
          {"a\r\nb\tc", "a\\x0d\\x0ab\\x09c"}}) {
        EXPECT_EQ(PrintableText(text), shown) << shown;
        EXPECT_EQ(PrintableText(PrintableText(text)), shown);
    }
    EXPECT_EQ(PrintableLine("550-first\r\n550 second\nthird\rtab\there\x1b"),
              "550-first 550 second third tab here\\x1b");
}

}  // namespace
}  // namespace murmel
