// Where a user's files live when the program folder is not theirs (a system-wide install).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "../TestFiles.h"
#include "UserFolder.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

// A program folder as the package installs it, made read-only.
std::string ShippedProgramFolder() {
    const std::string program = test::FreshFolder("program");
    test::WriteFile(program + "user.dll", "[Setup]\n");
    test::WriteFile(program + "Setting.ini", "[163.com]\n");
    fs::create_directories(program + "Address");
    test::WriteFile(program + "Address/Default.txt", "friend\n");
    fs::create_directories(program + "BGMusic");
    test::WriteFile(program + "BGMusic/Evening.mid", "MThd");
    chmod(program.c_str(), 0555);
    return program;
}

}  // namespace

TEST(UserFolderTest, SystemWideInstallsAndReadOnlyFoldersAreNotTheUsers) {
    EXPECT_FALSE(ProgramFolderIsTheUsers("/usr/lib/murmel/"));
    EXPECT_TRUE(ProgramFolderIsTheUsers(test::FreshFolder("build")));
    if (geteuid() == 0) GTEST_SKIP() << "root may write a read-only folder";
    EXPECT_FALSE(ProgramFolderIsTheUsers(ShippedProgramFolder()));
}

TEST(UserFolderTest, FirstStartCopiesTheUsersOwnLinksTheRestAndKeepsChanges) {
    const std::string program = ShippedProgramFolder();
    const std::string user = test::FreshFolder("data") + "murmel/";
    const std::string music = test::FreshFolder("Music");
    FillUserFolder(user, program, music);

    EXPECT_FALSE(fs::is_symlink(user + "user.dll"));
    EXPECT_EQ(test::ReadFile(user + "Address/Default.txt"), "friend\n");
    EXPECT_TRUE(fs::is_symlink(user + "Setting.ini"));
    EXPECT_EQ(test::ReadFile(user + "BGMusic/Evening.mid"), "MThd");
    // Recordings land where the file manager shows them.
    test::WriteFile(user + "MyVoice/a.mp3", "ID3");
    EXPECT_EQ(test::ReadFile(music + "MyVoice/a.mp3"), "ID3");

    test::WriteFile(user + "user.dll", "[Setup]\nName=me\n");
    fs::remove(user + "Setting.ini");
    FillUserFolder(user, program, music);
    EXPECT_EQ(test::ReadFile(user + "user.dll"), "[Setup]\nName=me\n");
    EXPECT_TRUE(fs::exists(user + "Setting.ini"));
    chmod(program.c_str(), 0755);
}

TEST(UserFolderTest, MusicFolderFollowsUserDirs) {
    const std::string home = std::getenv("HOME");
    EXPECT_EQ(MusicFolder(), home + "/Music");
    const std::string config = test::FreshFolder("config");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    test::WriteFile(config + "user-dirs.dirs", "# xdg-user-dirs\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n");
    EXPECT_EQ(MusicFolder(), home + "/Musik");
    test::WriteFile(config + "user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/\"\n");
    EXPECT_EQ(MusicFolder(), home + "/Music");
}
