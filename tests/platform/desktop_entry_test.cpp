// Desktop entry text and the default-application list, as the desktop reads them.
#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "MimeAppsList.h"

using namespace murmel;

TEST(DesktopEntryExec, QuotesProgramPathsThatNeedIt) {
    EXPECT_EQ(QuoteExecArgument("/opt/murmel/Murmelplay"), "/opt/murmel/Murmelplay");
    EXPECT_EQ(QuoteExecArgument("/opt/My Programs/Murmelplay"), "\"/opt/My Programs/Murmelplay\"");
    EXPECT_EQ(QuoteExecArgument("/opt/a=b/M"), "\"/opt/a=b/M\"");
    // Reserved characters escaped for the command line, backslashes again for the key.
    EXPECT_EQ(QuoteExecArgument("/a\"b`c$d"), "\"/a\\\"b\\`c\\$d\"");
    EXPECT_EQ(QuoteExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(QuoteExecArgument("/100%/x"), "\"/100%%/x\"");
    // Line ends and tabs as the key's escapes; other control characters cannot be written.
    EXPECT_EQ(QuoteExecArgument("/a\nb\tc\rd"), "\"/a\\nb\\tc\\rd\"");
    EXPECT_EQ(QuoteExecArgument("/a\x01b"), "");
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
    EXPECT_EQ(DesktopEntry({"x", "", "/a\x01b", "x", ""}), "");
    // The desktop checks the first word before it unescapes "%%": a shell starts such a path.
    EXPECT_NE(DesktopEntry({"x", "", "/a%b/M", "x", "application/x-mvm"})
                  .find(R"(Exec=sh -c "exec \"\$0\" \"\$@\"" "/a%%b/M" %f)"
                        "\n"),
              std::string::npos);
}

namespace {

constexpr const char* kType = "application/x-mvm";
constexpr const char* kEntry = "murmelplay.desktop";

struct ListCase {
    const char* what;
    std::string before, after;
};

}  // namespace

TEST(MimeAppsList, DefaultSetAsTheDesktopReadsItAndOtherBytesKept) {
    const ListCase cases[] = {
        {"no list yet", "", "[Default Applications]\napplication/x-mvm=murmelplay.desktop\n"},
        {"another default replaced, other groups kept",
         "[Added Associations]\napplication/x-mvm=other.desktop;\n\n"
         "[Default Applications]\ntext/plain=e.desktop\napplication/x-mvm=other.desktop\n\n"
         "[Removed Associations]\nimage/png=viewer.desktop;\n",
         "[Added Associations]\napplication/x-mvm=other.desktop;\n\n"
         "[Default Applications]\ntext/plain=e.desktop\napplication/x-mvm=murmelplay.desktop\n\n"
         "[Removed Associations]\nimage/png=viewer.desktop;\n"},
        {"added at the end of the group's lines",
         "[Default Applications]\ntext/plain=e.desktop\n\n[Other]\nk=v\n",
         "[Default Applications]\ntext/plain=e.desktop\napplication/x-mvm=murmelplay.desktop\n\n"
         "[Other]\nk=v\n"},
        {"group added after a last line without line end", "[Other]\nk=v",
         "[Other]\nk=v\n\n[Default Applications]\napplication/x-mvm=murmelplay.desktop\n"},
        {"indented group header is the group", "  [Default Applications] \ntext/plain=e.desktop\n",
         "  [Default Applications] \ntext/plain=e.desktop\napplication/x-mvm=murmelplay.desktop\n"},
        {"blanks around '=' name the same key",
         "[Default Applications]\n\tapplication/x-mvm = other.desktop\ntext/plain = e.desktop\n",
         "[Default Applications]\napplication/x-mvm=murmelplay.desktop\ntext/plain = e.desktop\n"},
        {"a repeated group's later line would win, so it goes",
         "[Default Applications]\napplication/x-mvm=a.desktop\n[X]\nk=v\n"
         "[Default Applications]\napplication/x-mvm=b.desktop\nz=1\n",
         "[Default Applications]\napplication/x-mvm=murmelplay.desktop\n[X]\nk=v\n"
         "[Default Applications]\nz=1\n"},
        {"CR LF kept and used", "[Default Applications]\r\ntext/plain=e.desktop\r\n",
         "[Default "
         "Applications]\r\ntext/plain=e.desktop\r\napplication/x-mvm=murmelplay.desktop\r\n"},
        {"CR only kept and used", "[Other]\rk=v\r",
         "[Other]\rk=v\r\r[Default Applications]\rapplication/x-mvm=murmelplay.desktop\r"},
        {"a header with more after its bracket is none", "[Default Applications]x\na=b\n",
         "[Default Applications]x\na=b\n\n[Default Applications]\n"
         "application/x-mvm=murmelplay.desktop\n"},
    };
    for (const ListCase& c : cases) {
        EXPECT_EQ(WithDefaultApplication(c.before, kType, kEntry), c.after) << c.what;
        EXPECT_EQ(WithDefaultApplication(c.after, kType, kEntry), c.after) << c.what;
    }
}

TEST(MimeAppsList, RemovalTakesOnlyOurOwnDefault) {
    const ListCase cases[] = {
        {"ours",
         "[Default Applications]\ntext/plain=e.desktop\napplication/x-mvm=murmelplay.desktop\n",
         "[Default Applications]\ntext/plain=e.desktop\n"},
        {"ours as the desktop reads it, CR LF kept",
         " [Default Applications]\r\napplication/x-mvm = murmelplay.desktop; \r\nk=v\r\n",
         " [Default Applications]\r\nk=v\r\n"},
        {"another's stays", "[Default Applications]\napplication/x-mvm=other.desktop\n",
         "[Default Applications]\napplication/x-mvm=other.desktop\n"},
        {"ours in another group stays",
         "[Added Associations]\napplication/x-mvm=murmelplay.desktop\n",
         "[Added Associations]\napplication/x-mvm=murmelplay.desktop\n"},
        {"a group left empty goes, as it came",
         "[Other]\nk=v\n\n[Default Applications]\napplication/x-mvm=murmelplay.desktop\n",
         "[Other]\nk=v\n"},
        {"a group left empty before another goes",
         "[Default Applications]\napplication/x-mvm=murmelplay.desktop\n\n[Last]\n", "[Last]\n"},
    };
    for (const ListCase& c : cases)
        EXPECT_EQ(WithoutDefaultApplication(c.before, kType, kEntry), c.after) << c.what;
}
