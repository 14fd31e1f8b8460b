// murmel-cli play, run as a user runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "PlayTestFiles.h"

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
    EXPECT_NE(run.out.find("File is corrupt."), std::string::npos) << run.out;
    EXPECT_EQ(RunCli("play", "null").status, 2);
    EXPECT_EQ(RunCli("play a.mvm --loud", "null").status, 2);
    EXPECT_EQ(RunCli("play '" + folder + "bad.mvm'", "speakers").status, 1);
    EXPECT_TRUE(LooseTempFiles().empty());
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
