// The voice mail the player takes from its command line.
#include <gtest/gtest.h>

#include "PlayerCommandLine.h"

using namespace murmel;

namespace {
const std::string kProgram = "/home/li/My Programs/Murmelplay";
}

TEST(PlayerCommandLine, AssociationLineWithBlanksArrivesWhole) {
    const std::string line = RawCommandLine(kProgram, {"/home/li/语音 邮件/hello world.mvm"});
    EXPECT_EQ(line, kProgram + " /home/li/语音 邮件/hello world.mvm");
    EXPECT_EQ(CommandLineFileName(line, kProgram, true), "/home/li/语音 邮件/hello world.mvm");
    // A path split into several arguments is joined again with single blanks.
    EXPECT_EQ(CommandLineFileName(RawCommandLine(kProgram, {"/tmp/a", "b.mvm"}), kProgram, true),
              "/tmp/a b.mvm");
}

TEST(PlayerCommandLine, NoArgumentsGiveNothing) {
    EXPECT_EQ(CommandLineFileName(RawCommandLine(kProgram, {}), kProgram, false), "");
    EXPECT_EQ(CommandLineFileName(RawCommandLine(kProgram, {""}), kProgram, true), "");
}

TEST(PlayerCommandLine, QuoteRules) {
    // Quoted program path, unquoted file: the file follows the closing quote and a blank.
    EXPECT_EQ(CommandLineFileName("\"" + kProgram + "\" /tmp/a b.mvm", kProgram, true),
              "/tmp/a b.mvm");
    // Both quoted: the file keeps its quotes (and so names no existing file).
    EXPECT_EQ(CommandLineFileName("\"" + kProgram + "\" \"/tmp/a.mvm\"", kProgram, true),
              "\"/tmp/a.mvm\"");
    // Unquoted program, quoted file: the file's first character is lost as well.
    EXPECT_EQ(CommandLineFileName(kProgram + " \"/tmp/a.mvm\"", kProgram, true), "tmp/a.mvm\"");
    // A lone quote with nothing after it gives no name rather than a crash.
    EXPECT_EQ(CommandLineFileName("\"", kProgram, true), "");
    EXPECT_EQ(CommandLineFileName("\"x\"", kProgram, true), "");
}
