// The voice mail the player takes from its command line.
#include <gtest/gtest.h>

#include "PlayerCommandLine.h"

using namespace murmel;

TEST(PlayerCommandLine, TheFileIsTheArgumentAsTheDesktopPassesIt) {
    EXPECT_EQ(CommandLineFileName({"/home/li/语音 邮件/hello world.mvm"}),
              "/home/li/语音 邮件/hello world.mvm");
    // Quotes are part of the name: no rule of a rebuilt command line cuts it.
    EXPECT_EQ(CommandLineFileName({"/tmp/q\"uote.mvm"}), "/tmp/q\"uote.mvm");
    EXPECT_EQ(CommandLineFileName({"\"/tmp/a.mvm\""}), "\"/tmp/a.mvm\"");
    // A path split into several arguments is joined again with single blanks.
    EXPECT_EQ(CommandLineFileName({"/tmp/a", "b.mvm"}), "/tmp/a b.mvm");
}

TEST(PlayerCommandLine, NoArgumentsGiveNothing) {
    EXPECT_EQ(CommandLineFileName({}), "");
    EXPECT_EQ(CommandLineFileName({""}), "");
}
