// `cmake --install` into a private prefix and scripts/uninstall: what appears, what
// goes, and what of the user's stays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "PlayTestFiles.h"

using namespace murmel::test;
namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) { return std::getenv(name); }

int Shell(const std::string& command) {
    return WEXITSTATUS(std::system((command + " >/dev/null 2>&1").c_str()));
}

// A path as one word for the shell.
std::string Quoted(const std::string& path) {
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Sha256(const std::string& path) {
    FILE* pipe = popen(("sha256sum < " + Quoted(path)).c_str(), "r");
    char buffer[65] = {};
    const size_t read = fread(buffer, 1, 64, pipe);
    pclose(pipe);
    return std::string(buffer, read);
}

class InstallTest : public ::testing::Test {
  protected:
    std::string prefix = FreshFolder("my programs") + "murmel";
    std::string data = Env("XDG_DATA_HOME") + "/", config = Env("XDG_CONFIG_HOME") + "/";

    // Each test starts on a desktop where nothing was installed yet.
    void SetUp() override {
        fs::remove_all(data);
        fs::remove_all(config);
        fs::create_directories(config);
    }

    int Install() {
        return Shell(std::string("cmake --install ") + Quoted(MURMEL_BINARY_DIR) + " --prefix " +
                     Quoted(prefix));
    }
    int Uninstall() {
        return Shell(Quoted(std::string(MURMEL_SOURCE_DIR) + "/scripts/uninstall") + " " +
                     Quoted(prefix));
    }
    bool Has(const std::string& path) { return fs::exists(path); }

    // The running processes of one executable (ours, under the private prefix).
    std::vector<pid_t> ProcessesOf(const std::string& program) {
        std::vector<pid_t> found;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::error_code error;
            const fs::path exe = fs::read_symlink(entry.path() / "exe", error);
            if (!error && exe == fs::path(program))
                found.push_back(std::stoi(entry.path().filename()));
        }
        return found;
    }
};

}  // namespace

TEST_F(InstallTest, InstallAddsProgramsLaunchersTypeAndPresets) {
    ASSERT_EQ(Install(), 0);
    for (const char* file : {"Murmel", "Murmelplay", "murmel-cli", "user.dll", "Setting.ini",
                             "Address/Default.txt", "icons/murmelplay.svg", "uninstall.list"})
        EXPECT_TRUE(Has(prefix + "/" + file)) << file;
    EXPECT_TRUE(fs::is_directory(prefix + "/MyVoice"));
    const std::string player = ReadFile(data + "applications/murmelplay.desktop");
    EXPECT_NE(player.find("Exec=\"" + prefix + "/Murmelplay\" %f"), std::string::npos) << player;
    EXPECT_NE(ReadFile(data + "applications/murmel.desktop").find("Exec=\"" + prefix + "/Murmel\""),
              std::string::npos);
    EXPECT_TRUE(Has(data + "mime/packages/murmel-mvm.xml"));
    EXPECT_TRUE(Has(data + "icons/hicolor/scalable/apps/murmel.svg"));
    EXPECT_NE(ReadFile(config + "mimeapps.list").find("application/x-mvm=murmelplay.desktop"),
              std::string::npos);
    EXPECT_TRUE(Has(config + "vorn/Sonra/WaveFormat8K"));
}

TEST_F(InstallTest, UninstallTakesWhatWasAddedAndTheUsersFilesSurviveAReinstall) {
    ASSERT_EQ(Install(), 0);
    const std::string recording = prefix + "/MyVoice/2026_12_9_13_30_0.mp3";
    WriteFile(recording, "the user's own words");
    WriteFile(prefix + "/user.dll", "[Mailer]\r\nMAPI=YES\r\n");
    WriteFile(prefix + "/BGMusic/mine.mid", "a tune of the user's");
    fs::create_directories(config);
    WriteFile(config + "mimeapps.list",
              ReadFile(config + "mimeapps.list") + "[Added Associations]\ntext/x-a=a.desktop\n");

    ASSERT_EQ(Uninstall(), 0);
    for (const char* gone :
         {"Murmel", "Murmelplay", "murmel-cli", "Setting.ini", "icons", "uninstall.list"})
        EXPECT_FALSE(Has(prefix + "/" + gone)) << gone;
    for (const char* gone :
         {"applications/murmel.desktop", "applications/murmelplay.desktop",
          "mime/packages/murmel-mvm.xml", "icons/hicolor/scalable/apps/murmelplay.svg"})
        EXPECT_FALSE(Has(data + gone)) << gone;
    EXPECT_EQ(ReadFile(config + "mimeapps.list").find("application/x-mvm"), std::string::npos);
    EXPECT_NE(ReadFile(config + "mimeapps.list").find("text/x-a=a.desktop"), std::string::npos);
    EXPECT_FALSE(Has(config + "vorn/Sonra/WaveFormat8K"));
    EXPECT_EQ(ReadFile(recording), "the user's own words");
    EXPECT_EQ(ReadFile(prefix + "/user.dll"), "[Mailer]\r\nMAPI=YES\r\n");
    EXPECT_TRUE(Has(prefix + "/Address/Default.txt"));
    EXPECT_TRUE(Has(prefix + "/BGMusic/mine.mid"));

    ASSERT_EQ(Install(), 0);
    EXPECT_EQ(ReadFile(recording), "the user's own words");
    EXPECT_EQ(ReadFile(prefix + "/user.dll"), "[Mailer]\r\nMAPI=YES\r\n");
    EXPECT_TRUE(Has(prefix + "/Murmelplay"));
    EXPECT_TRUE(Has(data + "applications/murmelplay.desktop"));
}

TEST_F(InstallTest, PresetsTheUserHadAreNotTheInstallationsToRemove) {
    fs::create_directories(config + "vorn/Sonra");
    WriteFile(config + "vorn/Sonra/WaveFormat2K", "the user's own preset");
    ASSERT_EQ(Install(), 0);
    ASSERT_EQ(Uninstall(), 0);
    EXPECT_EQ(ReadFile(config + "vorn/Sonra/WaveFormat2K"), "the user's own preset");
    EXPECT_NE(Uninstall(), 0);  // nothing left to uninstall
}

TEST_F(InstallTest, VoiceMailOpenedAsAFileManagerOpensItPlaysInTheInstalledPlayer) {
    if (std::system("command -v gio >/dev/null") != 0) GTEST_SKIP() << "no gio";
    ASSERT_EQ(Install(), 0);
    const std::string mails = FreshFolder("received mail");
    const std::string mail =
        mails + "来自 \"朋友\".mvm";  // as the desktop passes it, quotes and all
    WriteVoiceMail(mail, PcmWave(8000, 1, 1.5, 440, 0.3, true), MidiTune(3), ScheduleText({{0, 9}}),
                   true);
    setenv("MURMEL_AUDIO", ("render:" + mails + "heard.wav").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // What a file manager does on a double click: the type's default application.
    ASSERT_EQ(Shell("gio open " + Quoted(mail)), 0);
    unsetenv("MURMEL_AUDIO");

    const std::string player = prefix + "/Murmelplay";
    bool unpacked = false;
    for (int i = 0; i < 1500 && !(unpacked && LooseTempFiles().empty()); ++i) {
        if (LooseTempFiles().size() == 6) unpacked = true;
        usleep(10000);
    }
    EXPECT_TRUE(unpacked) << "the installed player did not open the voice mail";
    const std::vector<pid_t> players = ProcessesOf(player);
    EXPECT_EQ(players.size(), 1u);
    for (pid_t pid : players) kill(pid, SIGTERM);
    for (int i = 0; i < 500 && !ProcessesOf(player).empty(); ++i) usleep(10000);
    EXPECT_TRUE(ProcessesOf(player).empty());
    EXPECT_GE(RenderedSamples(mails + "heard.wav").size(), 2u * 44100 * 3 / 2);  // the whole voice
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST_F(InstallTest, ReinstallRefreshesTheInstallationAndKeepsTheUsersFiles) {
    ASSERT_EQ(Install(), 0);
    const std::string recording = prefix + "/MyVoice/2026_12_9_13_30_0.mp3";
    WriteFile(recording, "the user's own words");
    WriteFile(prefix + "/user.dll", "[Mailer]\r\nMAPI=YES\r\n");
    fs::remove(data + "applications/murmel.desktop");

    ASSERT_EQ(Install(), 0);  // over the existing installation
    EXPECT_TRUE(Has(data + "applications/murmel.desktop"));
    const std::string list = ReadFile(prefix + "/uninstall.list");
    EXPECT_NE(list.find("file " + Sha256(prefix + "/Murmelplay") + " Murmelplay\n"),
              std::string::npos)
        << list;
    EXPECT_NE(list.find("preset " + Sha256(config + "vorn/Sonra/WaveFormat8K") + " WaveFormat8K\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(recording), "the user's own words");
    EXPECT_EQ(ReadFile(prefix + "/user.dll"), "[Mailer]\r\nMAPI=YES\r\n");
}

TEST_F(InstallTest, AnyPrefixInstallsWhollyInsideAndLaunches) {
    if (std::system("command -v gio >/dev/null") != 0) GTEST_SKIP() << "no gio";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("MURMEL_AUDIO", "null", 1);
    for (const char* name : {"semi;colon", "100% sure", "q\"uote", "line\nbreak"}) {
        SetUp();
        const std::string parent = FreshFolder("odd prefixes");
        prefix = parent + name;
        ASSERT_EQ(Install(), 0) << name;
        std::vector<std::string> inParent;
        for (const auto& entry : fs::directory_iterator(parent))
            inParent.push_back(entry.path().filename());
        EXPECT_EQ(inParent, std::vector<std::string>{name});
        EXPECT_TRUE(Has(prefix + "/Setting.ini")) << name;
        EXPECT_TRUE(Has(prefix + "/BGMusic/Morning.mid")) << name;

        const std::string player = prefix + "/Murmelplay";
        EXPECT_EQ(Shell("gio launch " + Quoted(data + "applications/murmelplay.desktop")), 0)
            << name;
        std::vector<pid_t> players;
        for (int i = 0; i < 500 && players.empty(); ++i, usleep(10000))
            players = ProcessesOf(player);
        EXPECT_EQ(players.size(), 1u) << name;
        for (pid_t pid : players) kill(pid, SIGTERM);
        for (int i = 0; i < 500 && !ProcessesOf(player).empty(); ++i) usleep(10000);
        EXPECT_EQ(Uninstall(), 0) << name;
        EXPECT_FALSE(Has(player)) << name;
    }
}

TEST_F(InstallTest, UninstallRemovesOnlyWhatTheInstallationWroteAndNeverThroughALink) {
    ASSERT_EQ(Install(), 0);
    WriteFile(prefix + "/MyVoice/mine.mp3", "the user's own words");
    WriteFile(prefix + "/Setting.ini", "the user's own servers");
    // The user's tunes live in their music folder; BGMusic is a link to it.
    const std::string music = FreshFolder("Music");
    for (const auto& tune : fs::directory_iterator(prefix + "/BGMusic"))
        fs::copy_file(tune.path(), music + tune.path().filename().string());
    fs::remove_all(prefix + "/BGMusic");
    fs::create_directory_symlink(music, prefix + "/BGMusic");
    // Entries no installation wrote, each with the hash of what is there now.
    std::string list = ReadFile(prefix + "/uninstall.list");
    for (const char* name : {"user.dll", "Address/Default.txt", "MyVoice/mine.mp3"})
        list += std::string("file ") + Sha256(prefix + "/" + name) + " " + name + "\n";
    const std::string anyHash(64, '0');
    list += "file " + anyHash + " .\nfile " + anyHash + " icons\nfile " + anyHash + " ../x\n";
    list += "Murmel\n";  // a line of no known kind
    std::string crlf;    // the whole list as an editor on another system may leave it
    for (const char c : list) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(prefix + "/uninstall.list", crlf);

    ASSERT_EQ(Uninstall(), 0);
    for (const char* gone :
         {"Murmel", "Murmelplay", "murmel-cli", "notify.wav", "icons", "uninstall.list"})
        EXPECT_FALSE(Has(prefix + "/" + gone)) << gone;
    EXPECT_FALSE(Has(data + "applications/murmelplay.desktop"));
    EXPECT_EQ(ReadFile(prefix + "/MyVoice/mine.mp3"), "the user's own words");
    EXPECT_EQ(ReadFile(prefix + "/Setting.ini"), "the user's own servers");
    EXPECT_TRUE(Has(prefix + "/user.dll"));
    EXPECT_TRUE(Has(prefix + "/Address/Default.txt"));
    EXPECT_TRUE(Has(music + "Morning.mid"));
    EXPECT_TRUE(fs::is_symlink(prefix + "/BGMusic"));
}

TEST_F(InstallTest, AListThatCannotBeReadStopsNothingAndIsKept) {
    ASSERT_EQ(Install(), 0);
    const std::string list = config + "mimeapps.list";
    const std::string kept = ReadFile(list);
    fs::remove(list);
    ASSERT_EQ(mkfifo(list.c_str(), 0600), 0);
    EXPECT_NE(Uninstall(), 0);  // said so
    EXPECT_TRUE(fs::is_fifo(list));
    EXPECT_FALSE(Has(prefix + "/Murmel"));
    EXPECT_TRUE(Has(prefix + "/murmel-cli"));  // to finish the job at the next run

    fs::remove(list);
    WriteFile(list, kept);
    ASSERT_EQ(Uninstall(), 0);
    EXPECT_FALSE(Has(prefix + "/murmel-cli"));
    EXPECT_EQ(ReadFile(list).find("application/x-mvm"), std::string::npos);
}
