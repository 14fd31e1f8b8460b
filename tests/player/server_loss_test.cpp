// The sound server stops in the middle of a recording or a playback (a crash, an
// update, a user switching devices): the command ends within seconds with a clear
// error, the recording is finalised with what was captured, and the player's
// temporary files are gone. Runs against a private server of its own, PulseAudio or
// PipeWire as MURMEL_SOUND_SERVER says, so killing it disturbs no other test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "PlayTestFiles.h"

namespace murmel::test {
namespace {

const std::string kCli = std::string(MURMEL_PROGRAM_DIR) + "murmel-cli";

std::string ServerKind() {
    const char* kind = std::getenv("MURMEL_SOUND_SERVER");
    return kind && *kind ? kind : "pulse";
}

struct Outcome {
    int status = -1;
    std::string errors;
    double seconds = 0;
};

class ServerLoss : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = FreshFolder("server-loss");
        script_ = std::string(MURMEL_SOURCE_DIR) + "/scripts/" + ServerKind() + "-daemon";
        const std::string command = "'" + script_ + "' start '" + folder_ + "server' 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        char line[512] = {};
        if (!fgets(line, sizeof line, pipe)) line[0] = 0;
        const int status = pclose(pipe);
        server_ = line;
        while (!server_.empty() && server_.back() == '\n') server_.pop_back();
        if (status != 0 || server_.empty())
            GTEST_SKIP() << "no " << ServerKind() << " server could start";
    }
    void TearDown() override {
        std::system(("'" + script_ + "' kill '" + folder_ + "server' 2>/dev/null").c_str());
    }

    // Runs murmel-cli against the private server and kills the server after `killAfter`.
    Outcome RunAndKill(const std::string& environment, const std::string& arguments,
                       double killAfter) {
        const std::string command = "( sleep " + std::to_string(killAfter) + "; '" + script_ +
                                    "' kill '" + folder_ + "server' ) & PULSE_SERVER='" + server_ +
                                    "' " + environment + " timeout 60 '" + kCli + "' " + arguments +
                                    " >/dev/null 2>'" + folder_ + "errors'; echo $? > '" + folder_ +
                                    "status'; wait";
        const auto start = std::chrono::steady_clock::now();
        std::system(command.c_str());
        Outcome outcome;
        outcome.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        outcome.status = std::atoi(ReadFile(folder_ + "status").c_str());
        outcome.errors = ReadFile(folder_ + "errors");
        return outcome;
    }

    std::string folder_, script_, server_;
};

uint32_t Le32(const std::string& bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
           static_cast<uint8_t>(bytes[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

TEST_F(ServerLoss, RecordingEndsWithAnErrorAndAFinalisedFile) {
    const std::string track = folder_ + "voice.wav";
    const Outcome outcome = RunAndKill("MURMEL_CAPTURE=pulse:murmel_null.monitor",
                                       "record '" + track + "' --seconds 40 --preset none", 2.5);
    EXPECT_EQ(outcome.status, 1) << outcome.errors;
    EXPECT_NE(outcome.errors.find("the sound server stopped"), std::string::npos) << outcome.errors;
    EXPECT_LT(outcome.seconds, 20) << "the recording did not notice the server was gone";
    const std::string file = ReadFile(track);
    ASSERT_GT(file.size(), 44u + 44100u) << "too little of the recording was kept";
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(file, 4), file.size() - 8) << "RIFF size not finalised";
}

TEST_F(ServerLoss, PlaybackEndsWithAnErrorAndRemovesItsFiles) {
    const std::string mail = folder_ + "long.mvm";
    WriteVoiceMail(mail, PcmWave(22050, 1, 20.0, 440, 0.3), MidiTune(40), ScheduleText({{0, 8}}),
                   true);
    const Outcome outcome = RunAndKill("", "play '" + mail + "'", 2.0);
    EXPECT_EQ(outcome.status, 1) << outcome.errors;
    EXPECT_NE(outcome.errors.find("the sound server stopped"), std::string::npos) << outcome.errors;
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1)
        << "not one line: " << outcome.errors;
    EXPECT_LT(outcome.seconds, 15) << "playback went on as if nothing had happened";
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST(ServerAbsent, PlaybackSaysSoInOneLine) {
    const std::string folder = FreshFolder("no-server");
    WriteVoiceMail(folder + "a.mvm", PcmWave(8000, 1, 1.0, 440, 0.3), MidiTune(2),
                   ScheduleText({{0, 8}}), true);
    const std::string command = "PULSE_SERVER=unix:" + folder + "none/native MURMEL_AUDIO=pulse '" +
                                kCli + "' play '" + folder + "a.mvm' 2>'" + folder + "errors'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string errors = ReadFile(folder + "errors");
    EXPECT_NE(errors.find("no sound server"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "not one line: " << errors;
    EXPECT_TRUE(LooseTempFiles().empty());
}

}  // namespace
}  // namespace murmel::test
