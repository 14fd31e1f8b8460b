// Desktop entry text and the default-application list, as the desktop reads them.
#include <gtest/gtest.h>

#include "DesktopEntry.h"

using namespace murmel;

TEST(DesktopEntryExec, QuotesProgramPathsThatNeedIt) {
    EXPECT_EQ(QuoteExecArgument("/opt/murmel/Murmelplay"), "/opt/murmel/Murmelplay");
    EXPECT_EQ(QuoteExecArgument("/opt/My Programs/Murmelplay"), "\"/opt/My Programs/Murmelplay\"");
    EXPECT_EQ(QuoteExecArgument("/opt/a=b/M"), "\"/opt/a=b/M\"");
    // Reserved characters escaped for the command line, backslashes again for the key.
    EXPECT_EQ(QuoteExecArgument("/a\"b`c$d"), "\"/a\\\"b\\`c\\$d\"");
    EXPECT_EQ(QuoteExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(QuoteExecArgument("/100%/x"), "\"/100%%/x\"");
    EXPECT_EQ(QuoteExecArgument("/a\nb"), "");
    EXPECT_EQ(QuoteExecArgument("/a\tb"), "");
}

TEST(DesktopEntryExec, PlayerEntryTakesOneFileAndNamesItsType) {
    const std::string entry = DesktopEntry(
        {"Murmelplay", "语音邮件播放器", "/opt/a b/Murmelplay", "murmelplay", "application/x-mvm"});
    EXPECT_NE(entry.find("\nExec=\"/opt/a b/Murmelplay\" %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nMimeType=application/x-mvm;\n"), std::string::npos);
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    const std::string launcher = DesktopEntry({"Murmel", "", "/opt/Murmel", "murmel", ""});
    EXPECT_NE(launcher.find("\nExec=/opt/Murmel\n"), std::string::npos);
    EXPECT_EQ(launcher.find("MimeType"), std::string::npos);
    EXPECT_EQ(DesktopEntry({"x", "", "/a\nb", "x", ""}), "");
}

TEST(MimeAppsList, DefaultReplacedOrAddedAndOtherLinesKept) {
    EXPECT_EQ(WithDefaultApplication("", "application/x-mvm", "murmelplay.desktop"),
              "[Default Applications]\napplication/x-mvm=murmelplay.desktop\n");
    const std::string list =
        "[Added Associations]\napplication/x-mvm=other.desktop;\n\n"
        "[Default Applications]\ntext/plain=editor.desktop\napplication/x-mvm=other.desktop\n\n"
        "[Removed Associations]\nimage/png=viewer.desktop;\n";
    const std::string replaced =
        WithDefaultApplication(list, "application/x-mvm", "murmelplay.desktop");
    EXPECT_EQ(replaced,
              "[Added Associations]\napplication/x-mvm=other.desktop;\n\n"
              "[Default "
              "Applications]\ntext/plain=editor.desktop\napplication/x-mvm=murmelplay.desktop\n\n"
              "[Removed Associations]\nimage/png=viewer.desktop;\n");
    const std::string added = WithDefaultApplication(
        "[Default Applications]\ntext/plain=editor.desktop\n\n[Other]\nk=v\n", "application/x-mvm",
        "murmelplay.desktop");
    EXPECT_EQ(added,
              "[Default "
              "Applications]\ntext/plain=editor.desktop\napplication/x-mvm=murmelplay.desktop\n\n"
              "[Other]\nk=v\n");
    EXPECT_EQ(WithDefaultApplication("[Other]\nk=v", "application/x-mvm", "m.desktop"),
              "[Other]\nk=v\n\n[Default Applications]\napplication/x-mvm=m.desktop\n");
}

TEST(MimeAppsList, RemovalTakesOnlyOurOwnDefault) {
    const std::string ours =
        "[Default Applications]\ntext/plain=e.desktop\napplication/x-mvm=murmelplay.desktop\n";
    EXPECT_EQ(WithoutDefaultApplication(ours, "application/x-mvm", "murmelplay.desktop"),
              "[Default Applications]\ntext/plain=e.desktop\n");
    const std::string theirs = "[Default Applications]\napplication/x-mvm=other.desktop\n";
    EXPECT_EQ(WithoutDefaultApplication(theirs, "application/x-mvm", "murmelplay.desktop"), theirs);
}
