// murmel-cli record killed (SIGKILL) at a random moment, for every preset: the
// journal names the recording, `recover` completes it in place, and the mended
// track decodes (ffmpeg) to what was captured, less at most one update interval.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <thread>

#include "TestFiles.h"

namespace murmel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kUpdateInterval = 2.0;  // seconds of sound between the writer's updates

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(const std::string& arguments, const std::string& environment = "") {
    const std::string folder = test::FreshFolder("kill-cli");
    const std::string command = environment + " " MURMEL_PROGRAM_DIR "murmel-cli " + arguments +
                                " >" + folder + "out 2>" + folder + "err";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(folder + "out"),
            test::ReadFile(folder + "err")};
}

// Seconds of sound ffmpeg decodes from the file; negative when it cannot.
double DecodedSeconds(const std::string& path) {
    const std::string raw = path + ".raw";
    const std::string command =
        "ffmpeg -v error -y -i " + path + " -f s16le -ac 1 -ar 8000 " + raw + " 2>" + raw + ".err";
    if (std::system(command.c_str()) != 0) return -1;
    return static_cast<double>(test::ReadFile(raw).size()) / 2 / 8000;
}

// Waits for one whole line on `fd`, at most a minute.
bool WaitForLine(int fd) {
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    for (char c = 0; c != '\n';) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) < 0 || Clock::now() > deadline) return false;
        if (ready.revents != 0 && read(fd, &c, 1) != 1) return false;
    }
    return true;
}

// Starts a recording of a tone, kills it `seconds` after it started recording,
// and returns the seconds that were being captured when it died.
double RecordAndKill(const std::string& out, const std::string& preset, double seconds,
                     const std::string& tune = "") {
    int lines[2];
    if (pipe(lines) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        setenv("MURMEL_CAPTURE", "tone:440", 1);
        setenv("MURMEL_AUDIO", "null", 1);
        dup2(lines[1], STDOUT_FILENO);
        close(lines[0]);
        close(lines[1]);
        if (tune.empty())
            execl(MURMEL_PROGRAM_DIR "murmel-cli", "murmel-cli", "record", out.c_str(), "--preset",
                  preset.c_str(), static_cast<char*>(nullptr));
        else
            execl(MURMEL_PROGRAM_DIR "murmel-cli", "murmel-cli", "record", out.c_str(), "--preset",
                  preset.c_str(), "--music", tune.c_str(), "--slider", "500:40", "--slider",
                  "900:70", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(lines[1]);
    // The clock starts at the first elapsed time shown, so a slow start-up (the
    // synthesizer, a sanitizer build) does not count as sound captured.
    EXPECT_TRUE(WaitForLine(lines[0])) << "no elapsed time shown within a minute";
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    kill(child, SIGKILL);
    close(lines[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the recording ended before it was killed";
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(RecordKilled, EveryPresetIsRecoveredToWithinOneUpdateOfWhatWasCaptured) {
    ASSERT_EQ(Cli("presets install").status, 0);
    std::mt19937 random(std::random_device{}());
    for (const std::string preset : {"1K", "2K", "4K", "8K", "none"}) {
        // After the first update (start-up plus one interval), so there is sound to decode.
        const double moment = std::uniform_real_distribution<double>(3.2, 6.5)(random);
        SCOPED_TRACE("preset " + preset + ", killed after " + std::to_string(moment) + " s");
        const std::string folder = test::FreshFolder("killed-" + preset);
        const std::string out = folder + "voice.mp3";
        const double captured = RecordAndKill(out, preset, moment);

        CliRun list = Cli("recover --list");
        ASSERT_EQ(list.status, 0) << list.err;
        EXPECT_NE(list.out.find("voice only  "), std::string::npos) << list.out;
        EXPECT_NE(list.out.find(" -> " + out + "\n"), std::string::npos) << list.out;
        CliRun recover = Cli("recover");
        ASSERT_EQ(recover.status, 0) << recover.err;
        EXPECT_EQ(recover.out, "recovered " + out + "\n");
        EXPECT_EQ(Cli("recover --list").out, "no unfinished recordings\n");

        const double decoded = DecodedSeconds(out);
        ASSERT_GE(decoded, 0) << test::ReadFile(out + ".raw.err");
        // Capture starts a timer tick before the first elapsed time; the encoder adds a frame.
        EXPECT_LE(decoded, captured + 0.3);
        EXPECT_GE(decoded, captured - kUpdateInterval - 0.6);
    }
}

TEST(RecordKilled, ARecordingWithMusicBecomesAVoiceMailWithItsThreeEntries) {
    ASSERT_EQ(Cli("presets install").status, 0);
    const std::string tune = MURMEL_SOURCE_DIR "/data/BGMusic/Morning.mid";
    std::mt19937 random(std::random_device{}());
    for (const std::string preset : {"2K", "8K"}) {
        const double moment = std::uniform_real_distribution<double>(3.2, 5.5)(random);
        SCOPED_TRACE("preset " + preset + ", killed after " + std::to_string(moment) + " s");
        const std::string folder = test::FreshFolder("killed-music-" + preset);
        const std::string out = folder + "mail.mvm";
        const double captured = RecordAndKill(out, preset, moment, tune);

        CliRun list = Cli("recover --list");
        EXPECT_NE(list.out.find("with music  "), std::string::npos) << list.out;
        CliRun recover = Cli("recover");
        ASSERT_EQ(recover.status, 0) << recover.err;
        EXPECT_EQ(recover.out, "recovered " + out + "\n");
        CliRun unpack = Cli("unpack " + out + " " + folder + "entries");
        ASSERT_EQ(unpack.status, 0) << unpack.err;
        EXPECT_EQ(test::ReadFile(folder + "entries/BGMusic"), test::ReadFile(tune));
        const std::string schedule = test::ReadFile(folder + "entries/CtrInfo");
        EXPECT_NE(schedule.find("[0]"), std::string::npos) << schedule;
        EXPECT_NE(schedule.find("[2]"), std::string::npos) << "both slider moves: " << schedule;
        const double decoded = DecodedSeconds(folder + "entries/Mp3File");
        EXPECT_LE(decoded, captured + 0.3);
        EXPECT_GE(decoded, captured - kUpdateInterval - 0.6);
    }
}

TEST(RecordKilled, DiscardRemovesTheKilledRecording) {
    const std::string out = test::FreshFolder("killed-discard") + "voice.mp3";
    RecordAndKill(out, "none", 1.0);
    CliRun discard = Cli("recover --discard");
    ASSERT_EQ(discard.status, 0) << discard.err;
    EXPECT_EQ(discard.out.substr(0, 10), "discarded ");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(discard.out.substr(10, discard.out.size() - 11)));
    EXPECT_EQ(Cli("recover --list").out, "no unfinished recordings\n");
}

TEST(RecordKilled, ARunningRecordingIsNotOffered) {
    const std::string out = test::FreshFolder("killed-live") + "voice.mp3";
    const pid_t child = fork();
    if (child == 0) {
        setenv("MURMEL_CAPTURE", "tone:440", 1);
        freopen("/dev/null", "w", stdout);
        execl(MURMEL_PROGRAM_DIR "murmel-cli", "murmel-cli", "record", out.c_str(), "--preset",
              "2K", "--seconds", "4", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(Cli("recover").out, "no unfinished recordings\n");
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Cli("recover --list").out, "no unfinished recordings\n")
        << "journal removed at the end";
    EXPECT_GT(DecodedSeconds(out), 3.5);
}

}  // namespace
}  // namespace murmel
