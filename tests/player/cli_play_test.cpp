// murmel-cli play, run as a user runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "PlayTestFiles.h"
#include "SignalMeasures.h"

using namespace murmel::test;

namespace {

const std::string kCli = std::string(MURMEL_PROGRAM_DIR) + "murmel-cli";

struct CliRun {
    int status;
    std::string out;
};

CliRun RunCli(const std::string& arguments, const std::string& audio) {
    const std::string command = "MURMEL_AUDIO='" + audio + "' '" + kCli + "' " + arguments + " 2>&1";
    CliRun run{0, ""};
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) run.out.append(buffer, got);
    run.status = WEXITSTATUS(pclose(pipe));
    return run;
}

}  // namespace

TEST(CliPlay, TracesEveryAppliedEntryAndTheEnd) {
    const std::string folder = FreshFolder("cli");
    WriteVoiceMail(folder + "a.mvm", PcmWave(8000, 1, 1.0, 500, 0.3), MidiTune(2),
                   ScheduleText({{0, 9}, {300, 4}, {320, 7}}), true);
    const CliRun run = RunCli("play '" + folder + "a.mvm' --trace", "render:" + folder + "out.wav");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out,
              "50 ms: entry 0, volume -400\n"
              "350 ms: entry 1, volume -2400\n"
              "400 ms: entry 2, volume -1200\n"
              "end of playback\n");
    EXPECT_TRUE(LooseTempFiles().empty());
    EXPECT_EQ(RenderedSamples(folder + "out.wav").size(), 2u * 44100);  // one second, stereo
}

TEST(CliPlay, FailuresAndUsage) {
    const std::string folder = FreshFolder("cli-bad");
    CliRun run = RunCli("play '" + folder + "absent.mvm'", "null");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Cannot play"), std::string::npos);
    WriteFile(folder + "bad.mvm", "not a voice mail");
    run = RunCli("play '" + folder + "bad.mvm'", "null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Cannot play " + folder + "bad.mvm: Not a voice mail or a recording\n");
    WriteFile(folder + "damaged.mvm", "& \x05\x00\x00\x00garbage");
    run = RunCli("play '" + folder + "damaged.mvm'", "null");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("File is corrupt."), std::string::npos) << run.out;
    EXPECT_EQ(RunCli("play", "null").status, 2);
    EXPECT_EQ(RunCli("play a.mvm --loud", "null").status, 2);
    EXPECT_EQ(RunCli("play '" + folder + "bad.mvm'", "speakers").status, 1);
    EXPECT_TRUE(LooseTempFiles().empty());
}

// The recorder's ".mp3" (MP3 or PCM in RIFF), a bare MP3 and a ".wav" play as they
// are, told apart by their bytes: the names here say nothing true.
TEST(CliPlay, PlainRecordingsPlayAndExport) {
    const std::string folder = FreshFolder("cli-plain");
    const std::string mp3 = LameMp3(kPresets[1], 1.0, folder);
    ASSERT_FALSE(mp3.empty()) << "lame failed";
    const std::pair<const char*, std::string> files[] = {
        {"pcm in riff.mp3", PcmWave(16000, 1, 1.0, 440, 0.5)},
        {"mp3 in riff.mp3", WrapMp3(mp3, kPresets[1], true)},
        {"bare mp3.wav", mp3},
        {"pcm.mvm", PcmWave(8000, 2, 1.0, 440, 0.5)},
    };
    for (const auto& [name, bytes] : files) {
        WriteFile(folder + name, bytes);
        const std::string out = folder + name + ".out.wav";
        const CliRun run = RunCli("play '" + folder + name + "'", "render:" + out);
        EXPECT_EQ(run.status, 0) << name << ": " << run.out;
        const std::vector<int16_t> samples = RenderedSamples(out);
        EXPECT_GT(LevelDb(samples, 200, 800), -20) << name;
        EXPECT_NEAR(DominantHz(Slice(Channel(samples, 2, 0), 0.2, 0.8, 44100), 44100), 440, 10)
            << name;
        EXPECT_TRUE(ReadFile(folder + name) == bytes) << name << " must stay as it was";
    }
    const CliRun exported =
        RunCli("export '" + folder + "bare mp3.wav' '" + folder + "fast.mp3' --speed 2", "null");
    EXPECT_EQ(exported.status, 0) << exported.out;
    EXPECT_GT(ReadFile(folder + "fast.mp3").size(), 1000u);
    EXPECT_TRUE(LooseTempFiles().empty());
    // Voice mails with every flag the loader takes are still voice mails.
    for (const auto& entry : std::filesystem::directory_iterator(MURMEL_TEST_DATA "/valid")) {
        if (entry.path().extension() != ".mvm") continue;
        const CliRun run =
            RunCli("play '" + entry.path().string() + "'", "render:" + folder + "v.wav");
        EXPECT_EQ(run.out.find("Not a voice"), std::string::npos) << entry.path();
    }
}

TEST(CliPlay, InterruptStopsAndRemovesTheTemporaryFiles) {
    const std::string folder = FreshFolder("cli-int");
    WriteVoiceMail(folder + "long.mvm", PcmWave(8000, 1, 20.0, 0, 0), "", "", false);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("MURMEL_AUDIO", "null", 1);
        execl(kCli.c_str(), "murmel-cli", "play", (folder + "long.mvm").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the voice mail is unpacked, then press Ctrl-C.
    for (int i = 0; i < 200 && LooseTempFiles().size() < 6; ++i) usleep(20000);
    EXPECT_EQ(LooseTempFiles().size(), 6u);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(LooseTempFiles().empty());
}
