// The ".mvm" association written into a private desktop and asked back through
// the desktop's own tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "FileAssociation.h"
#include "SafeFile.h"
#include "TestFiles.h"

using namespace murmel;
using namespace murmel::test;
namespace fs = std::filesystem;

namespace {

class FileAssociationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        world = FreshFolder("desktop world");
        folders = {world + "data/", world + "config/"};
        program = ProgramFolder("programs/murmel/");
    }

    // A program folder as installed: the player (a stand-in) and its icons.
    std::string ProgramFolder(const std::string& name) {
        const std::string folder = FreshFolder(name);
        WriteFile(folder + "Murmelplay", "#!/bin/sh\n");
        fs::permissions(folder + "Murmelplay", fs::perms::owner_all);
        fs::create_directories(folder + "icons");
        for (const char* icon : {"murmelplay.svg", "murmelplay.png", "murmel.svg", "murmel.png"})
            WriteFile(folder + "icons/" + icon, std::string("icon ") + icon);
        return folder;
    }

    // Runs a desktop tool against the private desktop with no desktop session
    // named, so the generic freedesktop rules apply. Returns its first output line.
    std::string Query(const std::string& command) {
        const std::string line =
            "env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u XDG_SESSION_DESKTOP -u "
            "KDE_FULL_SESSION "
            "-u KDE_SESSION_VERSION -u GNOME_DESKTOP_SESSION_ID -u XDG_CONFIG_DIRS -u "
            "XDG_DATA_DIRS "
            "HOME='" +
            world + "' XDG_CONFIG_HOME='" + folders.config + "' XDG_DATA_HOME='" + folders.data +
            "' " + systemFolders + command + " 2>/dev/null";
        FILE* pipe = popen(line.c_str(), "r");
        char buffer[512] = {};
        std::string out = fgets(buffer, sizeof buffer, pipe) ? buffer : "";
        pclose(pipe);
        if (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

    std::string world, program;
    std::string systemFolders;  // "XDG_DATA_DIRS=... " when a test gives the system some
    DesktopFolders folders;
};

}  // namespace

TEST_F(FileAssociationTest, DesktopNamesThePlayerAsDefaultForVoiceMails) {
    EXPECT_TRUE(WriteFileAssociation(program, folders));
    const std::string entry = ReadFile(folders.data + "applications/murmelplay.desktop");
    EXPECT_NE(entry.find("\nExec=" + program + "Murmelplay %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nMimeType=application/x-mvm;audio/mpeg;audio/x-wav;audio/wav;"
                         "audio/vnd.wave;\n"),
              std::string::npos);
    const std::string package = ReadFile(folders.data + "mime/packages/murmel-mvm.xml");
    EXPECT_NE(package.find("<mime-type type=\"application/x-mvm\">"), std::string::npos);
    EXPECT_NE(package.find("<comment>音乐语音邮件</comment>"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.mvm\"/>"), std::string::npos);
    EXPECT_EQ(ReadFile(folders.data + "icons/hicolor/scalable/apps/murmelplay.svg"),
              "icon murmelplay.svg");
    EXPECT_EQ(ReadFile(folders.data + "icons/hicolor/48x48/mimetypes/application-x-mvm.png"),
              "icon murmelplay.png");

    if (std::system("command -v xdg-mime >/dev/null") != 0) GTEST_SKIP() << "no xdg-mime";
    EXPECT_EQ(Query("xdg-mime query default application/x-mvm"), "murmelplay.desktop");
    if (std::system("command -v update-mime-database >/dev/null") == 0) {
        EXPECT_TRUE(fs::exists(folders.data + "mime/application/x-mvm.xml"));
    }
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(Query("desktop-file-validate '" + folders.data +
                        "applications/murmelplay.desktop' && echo valid"),
                  "valid");
    }
}

TEST_F(FileAssociationTest, ProgramFolderWithBlanksIsQuotedAndUnderstood) {
    const std::string spaced = ProgramFolder("My Programs/Murmel 2/");
    EXPECT_TRUE(WriteFileAssociation(spaced, folders));
    const std::string entry = ReadFile(folders.data + "applications/murmelplay.desktop");
    EXPECT_NE(entry.find("\nExec=\"" + spaced + "Murmelplay\" %f\n"), std::string::npos) << entry;
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(Query("desktop-file-validate '" + folders.data +
                        "applications/murmelplay.desktop' && echo valid"),
                  "valid");
    }
    // GLib reads the quoted line as one program path (xdg-mime's own fallback
    // cuts it at the first blank, so GLib's tool is asked here).
    if (std::system("command -v gio >/dev/null") != 0) GTEST_SKIP() << "no gio";
    EXPECT_NE(Query("gio mime application/x-mvm").find("murmelplay.desktop"), std::string::npos);
}

TEST_F(FileAssociationTest, EveryStartRepointsButUnchangedFilesAreLeftAlone) {
    fs::create_directories(folders.config);
    WriteFile(
        folders.config + "mimeapps.list",
        "[Default Applications]\naudio/mpeg=music.desktop\napplication/x-mvm=other.desktop\n");
    EXPECT_TRUE(WriteFileAssociation(program, folders));
    // The player opens MP3 too, but the user's music player stays their default.
    EXPECT_EQ(ReadFile(folders.config + "mimeapps.list"),
              "[Default "
              "Applications]\naudio/mpeg=music.desktop\napplication/x-mvm=murmelplay.desktop\n");
    EXPECT_FALSE(WriteFileAssociation(program, folders));  // nothing to do at the next start

    const std::string other = ProgramFolder("other place/");
    EXPECT_TRUE(WriteFileAssociation(other, folders));  // whichever program ran last owns it
    EXPECT_NE(ReadFile(folders.data + "applications/murmelplay.desktop").find(other + "Murmelplay"),
              std::string::npos);
}

TEST_F(FileAssociationTest, TheSystemsMusicPlayerStaysTheDefaultForPlainRecordings) {
    folders.systemData = {world + "system/"};
    folders.systemConfig = {world + "etc/"};
    systemFolders = "XDG_DATA_DIRS='" + world + "system/' XDG_CONFIG_DIRS='" + world + "etc/' ";
    fs::create_directories(world + "system/applications");
    WriteFile(world + "system/applications/music.desktop",
              "[Desktop Entry]\nType=Application\nName=Music\nExec=true %U\n"
              "MimeType=audio/mpeg;audio/x-wav;\n");
    fs::create_directories(folders.config);
    const std::string list = folders.config + "mimeapps.list";
    WriteFile(list, "[Default Applications]\naudio/x-wav=editor.desktop\n");
    EXPECT_TRUE(WriteFileAssociation(program, folders));
    // The user's own default stays; a type no other application opens is the player's.
    const std::string kept =
        "[Default Applications]\naudio/x-wav=editor.desktop\n"
        "audio/mpeg=music.desktop\n";
    EXPECT_EQ(ReadFile(list), kept + "application/x-mvm=murmelplay.desktop\n");
    if (std::system("command -v xdg-mime >/dev/null") == 0) {
        EXPECT_EQ(Query("xdg-mime query default audio/mpeg"), "music.desktop");
    }
    if (std::system("command -v gio >/dev/null") == 0) {
        EXPECT_NE(Query("gio mime audio/mpeg").find("music.desktop"), std::string::npos);
    }
    // It only says what was in force already, so it stays when the player goes.
    RemoveDesktopIntegration(program, folders);
    EXPECT_EQ(ReadFile(list), kept);
}

TEST_F(FileAssociationTest, RegistrationFailureIsIgnored) {
    WriteFile(world + "blocked", "a file where the data folder should be");
    const std::string saved = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", (world + "blocked").c_str(), 1);
    RegisterFileType(program);  // must neither throw nor crash
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
    EXPECT_THROW(WriteFileAssociation(program, {world + "blocked/", folders.config}),
                 std::exception);
    EXPECT_THROW(WriteFileAssociation(world + "bad\x01folder/", folders), std::exception);
}

TEST_F(FileAssociationTest, RemovalTakesAwayExactlyWhatWasAdded) {
    fs::create_directories(folders.config);
    WriteFile(folders.config + "mimeapps.list",
              "[Default Applications]\ntext/plain=editor.desktop\n");
    fs::create_directories(world + "dotfiles icons");
    fs::create_directories(folders.data);
    fs::create_directory_symlink(world + "dotfiles icons", folders.data + "icons");
    InstallLaunchers(program, folders);
    EXPECT_TRUE(fs::exists(folders.data + "applications/murmel.desktop"));
    EXPECT_TRUE(fs::exists(folders.data + "icons/hicolor/scalable/apps/murmel.svg"));

    // Another installation's recorder entry stays.
    const std::string other = FreshFolder("elsewhere");
    RemoveDesktopIntegration(other, folders);
    EXPECT_TRUE(fs::exists(folders.data + "applications/murmelplay.desktop"));

    RemoveDesktopIntegration(program, folders);
    for (const char* gone :
         {"applications/murmel.desktop", "applications/murmelplay.desktop",
          "mime/packages/murmel-mvm.xml", "icons/hicolor/scalable/apps/murmel.svg",
          "icons/hicolor/48x48/apps/murmelplay.png",
          "icons/hicolor/scalable/mimetypes/application-x-mvm.svg"})
        EXPECT_FALSE(fs::exists(folders.data + gone)) << gone;
    EXPECT_EQ(ReadFile(folders.config + "mimeapps.list"),
              "[Default Applications]\ntext/plain=editor.desktop\n");
    // The folders made for them go too, with the databases generated from them; a
    // link of the user's stays.
    for (const char* gone : {"mime", "applications"})
        EXPECT_FALSE(fs::exists(folders.data + gone)) << gone;
    EXPECT_TRUE(fs::is_symlink(folders.data + "icons"));
    EXPECT_TRUE(fs::is_directory(world + "dotfiles icons"));
    EXPECT_FALSE(fs::exists(world + "dotfiles icons/hicolor"));
}

TEST_F(FileAssociationTest, AListThatCannotBeReadWholeIsNamedAndKept) {
    fs::create_directories(folders.config);
    const std::string list = folders.config + "mimeapps.list";
    // Real lists can be large: every association the desktop ever made.
    std::string large = "[Added Associations]\n";
    while (large.size() < (3u << 20))
        large += "text/x-" + std::to_string(large.size()) + "=editor.desktop;\n";
    WriteFile(list, large);
    EXPECT_TRUE(WriteFileAssociation(program, folders));
    EXPECT_EQ(ReadFile(list),
              large + "\n[Default Applications]\napplication/x-mvm=murmelplay.desktop\n");

    // A list the user keeps elsewhere through a link is written through, the link kept.
    const std::string kept = FreshFolder("dotfiles") + "mimeapps.list";
    WriteFile(kept, "[Default Applications]\ntext/plain=editor.desktop\n");
    fs::remove(list);
    fs::create_symlink(kept, list);
    fs::remove_all(folders.data);
    EXPECT_TRUE(WriteFileAssociation(program, folders));
    EXPECT_TRUE(fs::is_symlink(list));
    EXPECT_EQ(ReadFile(kept),
              "[Default Applications]\ntext/plain=editor.desktop\napplication/x-mvm=murmelplay.desktop\n");

    // One that cannot be read is named and kept; everything else is in place all the same.
    fs::remove(list);
    ASSERT_EQ(mkfifo(list.c_str(), 0600), 0);
    fs::remove_all(folders.data);
    try {
        WriteFileAssociation(program, folders);
        ADD_FAILURE() << "no error for an unreadable list";
    } catch (const EFileError& error) {
        EXPECT_EQ(error.Path(), list);
    }
    EXPECT_TRUE(fs::is_fifo(list));
    EXPECT_TRUE(fs::exists(folders.data + "applications/murmelplay.desktop"));
    EXPECT_THROW(RemoveDesktopIntegration(program, folders), EFileError);
    EXPECT_TRUE(fs::is_fifo(list));
    // The entry stays with the default that names it, for a later run to take both.
    EXPECT_TRUE(fs::exists(folders.data + "applications/murmelplay.desktop"));
}
