// `cmake --install` into a private prefix and scripts/uninstall: what appears, what
// goes, and what of the user's stays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
        return Shell(std::string("cmake --install '") + MURMEL_BINARY_DIR + "' --prefix '" +
                     prefix + "'");
    }
    int Uninstall() {
        return Shell(std::string("'") + MURMEL_SOURCE_DIR + "/scripts/uninstall' '" + prefix + "'");
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
    const std::string mail = mails + "来自 朋友.mvm";
    WriteVoiceMail(mail, PcmWave(8000, 1, 1.5, 440, 0.3, true), MidiTune(3), ScheduleText({{0, 9}}),
                   true);
    setenv("MURMEL_AUDIO", ("render:" + mails + "heard.wav").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // What a file manager does on a double click: the type's default application.
    ASSERT_EQ(Shell("gio open '" + mail + "'"), 0);
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
