#include "IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../TestFiles.h"
#include "SettingsStore.h"

using namespace murmel;
using namespace murmel::test;

class IniFileTest : public ::testing::Test {
protected:
    std::string folder = FreshFolder("ini");
    std::string path = folder + "user.dll";
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndNoSection) {
    IniFile ini(path);
    EXPECT_EQ(ini.ReadText("Mailer", "MAPI", "NO"), "NO");
    EXPECT_EQ(ini.ReadNumber("SMTP", "SMTPAuthenticationType", 1), 1);
    EXPECT_FALSE(ini.HasSection("Mailer"));
}

TEST_F(IniFileTest, WritesCreateSectionsInOrderWithCrLf) {
    IniFile ini(path);
    ini.WriteText("Mailer", "MAPI", "NO");
    ini.WriteText("SMTP", "ServerName", "smtp.163.com");
    ini.WriteText("SMTP", "ServerPort", "25");
    ini.WriteNumber("SMTP", "SMTPAuthenticationType", -1);
    ini.WriteText("firstUse", "FirstUse", "0");
    EXPECT_EQ(ReadFile(path),
              "[Mailer]\r\nMAPI=NO\r\n[SMTP]\r\nServerName=smtp.163.com\r\nServerPort=25\r\n"
              "SMTPAuthenticationType=-1\r\n[firstUse]\r\nFirstUse=0\r\n");
}

TEST_F(IniFileTest, ExistingKeyKeepsItsPlaceAndNewKeyEndsItsSection) {
    WriteFile(path, "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
    IniFile ini(path);
    ini.WriteText("a", "X", "10");
    ini.WriteText("A", "w", "4");
    EXPECT_EQ(ReadFile(path), "[A]\r\nX=10\r\ny=2\r\nw=4\r\n\r\n[B]\r\nz=3\r\n");
}

TEST_F(IniFileTest, ToleratesFilesWrittenByOtherTools) {
    // LF line ends, blanks around names and values, duplicate keys, comments,
    // lines before the first section, a last line without an end.
    WriteFile(path,
              "stray=1\n; comment\n  [ SMTP ]  \n ServerName =  mail.example.org  \n"
              "ServerName=second\n\n\nServerPort= 0x1A\nBad=12abc\n[Empty]\n[Last]\nk=v");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadText("smtp", "servername", ""), "mail.example.org");
    EXPECT_EQ(ini.ReadNumber("SMTP", "ServerPort", 25), 26);
    EXPECT_EQ(ini.ReadNumber("SMTP", "Bad", 7), 7);
    EXPECT_EQ(ini.ReadText("Last", "k", ""), "v");
    EXPECT_FALSE(ini.HasSection("Empty"));
    EXPECT_TRUE(ini.HasSection("last"));
    EXPECT_EQ(ini.ReadText("", "stray", "none"), "none");
}

TEST_F(IniFileTest, NumbersFollowTheDecimalAndHexRules) {
    WriteFile(path, "[N]\r\na=01\r\nb=-42\r\nc=0x\r\nd=0XfF\r\ne=99999999999\r\nf=\r\ng= 7\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadNumber("N", "a", 0), 1);
    EXPECT_EQ(ini.ReadNumber("N", "b", 0), -42);
    EXPECT_EQ(ini.ReadNumber("N", "c", 5), 5);  // "0x" alone is not hexadecimal
    EXPECT_EQ(ini.ReadNumber("N", "d", 0), 255);
    EXPECT_EQ(ini.ReadNumber("N", "e", 5), 5);
    EXPECT_EQ(ini.ReadNumber("N", "f", 5), 5);
    EXPECT_EQ(ini.ReadNumber("N", "g", 5), 7);  // blanks are trimmed off the value
    EXPECT_EQ(ini.ReadText("N", "f", "x"), "");
}

TEST_F(IniFileTest, LongValuesAreCutAt2047Bytes) {
    std::string value(3000, 'v');
    IniFile ini(path);
    ini.WriteText("S", "Long", value);
    EXPECT_EQ(ini.ReadText("S", "Long", ""), value.substr(0, 2047));
    EXPECT_NE(ReadFile(path).find(value), std::string::npos);  // stored whole
}

TEST_F(IniFileTest, GbkNamesAndValuesAreBytesThatNeverFoldTogether) {
    const std::string nameA = "\xC4\x41", nameB = "\xC4\x61";  // two different characters
    const std::string zhang = "\xD5\xC5\xC8\xFD";               // a GBK name
    IniFile ini(path);
    ini.WriteText(nameA, "Name", zhang);
    ini.WriteText(nameB, "Name", "other");
    EXPECT_EQ(ini.ReadText(nameA, "name", ""), zhang);
    EXPECT_EQ(ini.ReadText(nameB, "NAME", ""), "other");
    EXPECT_EQ(ReadFile(path), "[" + nameA + "]\r\nName=" + zhang + "\r\n[" + nameB +
                                  "]\r\nName=other\r\n");
}

TEST_F(IniFileTest, LineBreaksInValuesCannotAddKeys) {
    IniFile ini(path);
    ini.WriteText("SMTP", "MyName", "Eve\r\nServerName=evil");
    EXPECT_EQ(ini.ReadText("SMTP", "ServerName", "none"), "none");
}

TEST_F(IniFileTest, RefusedWriteNamesTheFullPathAndKeepsTheOldFile) {
    std::filesystem::create_directory(path);  // a folder where the file should be
    IniFile ini(path);
    try {
        ini.WriteText("A", "b", "c");
        FAIL() << "write into a folder succeeded";
    } catch (const EIniFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ini.ReadText("A", "b", "d"), "d");
}

TEST_F(IniFileTest, WriteIntoMissingFolderIsRefused) {
    IniFile ini(folder + "no/such/user.dll");
    EXPECT_THROW(ini.WriteText("A", "b", "c"), EIniFileError);
}

TEST_F(IniFileTest, ReadOnlyFolderRefusesTheWriteForAnUnprivilegedUser) {
    // As root, permission bits do not stop a write; drop to "nobody" with setpriv.
    if (geteuid() != 0 || system("command -v setpriv >/dev/null") != 0) GTEST_SKIP();
    std::string cli = MURMEL_BINARY_DIR "/tests/ini_write_probe";
    if (!std::filesystem::exists(cli)) GTEST_SKIP() << "probe not built";
    chmod(folder.c_str(), 0755);
    chmod(murmel::TempFolder().c_str(), 0755);
    std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + cli + " " +
                          path + " >/dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(system(command.c_str())), 1);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(IniFileTest, ExistingFileKeepsModeAndSymlinkNewFileIsPrivate) {
    IniFile fresh(path);
    fresh.WriteText("A", "b", "c");
    struct stat info{};
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::string real = folder + "real.ini";
    WriteFile(real, "[A]\r\nb=1\r\n");
    chmod(real.c_str(), 0644);
    std::string link = folder + "link.ini";
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    IniFile linked(link);
    linked.WriteText("A", "b", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "[A]\r\nb=2\r\n");
    stat(real.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    // No temporary sibling is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3);

    // In the temporary folder (a schedule's home) a link is never followed, nor
    // is one in a folder others may write.
    std::string planted = TempFolder() + "1A2B.tmp.Ctr";
    ASSERT_EQ(symlink(real.c_str(), planted.c_str()), 0);
    EXPECT_THROW(IniFile(planted).WriteText("0", "Time", "0"), EIniFileError);
    chmod(folder.c_str(), 0777);
    EXPECT_THROW(linked.WriteText("A", "b", "3"), EIniFileError);
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(ReadFile(real), "[A]\r\nb=2\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));
    unlink(planted.c_str());
}

TEST_F(IniFileTest, AFileThatCannotBeReadWholeIsNeverRewritten) {
    // Sparse files: the size is what counts, no disk space is used.
    WriteFile(path, "[SMTP]\r\nServerPassword=secret\r\n");
    std::filesystem::resize_file(path, 68u << 20);  // large, and read like any other
    IniFile ini(path);
    EXPECT_EQ(ini.ReadText("SMTP", "ServerPassword", ""), "secret");
    const uintmax_t huge = (1ull << 30) + 1;  // beyond what we read whole
    std::filesystem::resize_file(path, huge);
    EXPECT_EQ(ini.ReadText("SMTP", "ServerPassword", "default"), "default");
    try {
        ini.WriteText("firstUse", "FirstUse", "0");
        FAIL() << "rewrote a file it could not read";
    } catch (const EIniFileError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Unable to write to " + path + ": ", 0), 0u)
            << error.what();
    }
    EXPECT_EQ(std::filesystem::file_size(path), huge);
    std::ifstream in(path, std::ios::binary);
    std::string head(31, '\0');
    in.read(head.data(), 31);
    EXPECT_EQ(head, "[SMTP]\r\nServerPassword=secret\r\n");
}

TEST(SettingsStoreTest, LivesInTheProgramFolder) {
    std::string folder = FreshFolder("program");
    SettingsStore store(folder);
    EXPECT_EQ(store.FileName(), folder + "user.dll");
    WriteFile(store.FileName(), "[firstUse]\r\nFirstUse=1\r\n");
    chmod(store.FileName().c_str(), 0644);  // as shipped; the password must not stay readable
    store.WriteText("SMTP", "ServerPassword", "secret");
    struct stat info{};
    ASSERT_EQ(stat(store.FileName().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    store.WriteText("SoundSetup", "Resolution", "8K");
    EXPECT_EQ(SettingsStore(folder).ReadText("soundsetup", "resolution", "2K"), "8K");
}
