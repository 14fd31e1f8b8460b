// murmel-cli play with --speed and --start, run as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "PlayTestFiles.h"

using namespace murmel::test;

namespace {

const std::string kCli = std::string(MURMEL_PROGRAM_DIR) + "murmel-cli";

int RunCli(const std::string& arguments, const std::string& audio, std::string& out) {
    const std::string command =
        "MURMEL_AUDIO='" + audio + "' '" + kCli + "' " + arguments + " 2>&1";
    out.clear();
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
    return WEXITSTATUS(pclose(pipe));
}

}  // namespace

TEST(CliPlaySpeed, TwiceTheSpeedReachesTheEntriesInHalfTheTime) {
    const std::string folder = FreshFolder("cli-speed");
    WriteVoiceMail(folder + "a.mvm", PcmWave(8000, 1, 1.0, 500, 0.3), MidiTune(2),
                   ScheduleText({{0, 9}, {300, 4}, {640, 7}}), true);
    std::string out;
    EXPECT_EQ(
        RunCli("play '" + folder + "a.mvm' --trace --speed 2", "render:" + folder + "out.wav", out),
        0);
    EXPECT_EQ(out,
              "100 ms: entry 0, volume -400\n"
              "400 ms: entry 1, volume -2400\n"
              "700 ms: entry 2, volume -1200\n"
              "end of playback\n");
    EXPECT_EQ(RenderedSamples(folder + "out.wav").size(), 2u * 22050);  // half a second, stereo
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST(CliPlaySpeed, StartJumpsWithTheVolumeOfTheEntriesBefore) {
    const std::string folder = FreshFolder("cli-start");
    WriteVoiceMail(folder + "a.mvm", PcmWave(8000, 1, 1.0, 500, 0.3), MidiTune(2),
                   ScheduleText({{0, 9}, {300, 4}, {320, 7}, {800, 5}}), true);
    std::string out;
    EXPECT_EQ(RunCli("play '" + folder + "a.mvm' --trace --start 600",
                     "render:" + folder + "out.wav", out),
              0);
    EXPECT_EQ(out, "850 ms: entry 3, volume -2000\nend of playback\n");
    EXPECT_EQ(RenderedSamples(folder + "out.wav").size(), 2u * 44100 * 400 / 1000);
    // A start past the end plays nothing and ends cleanly.
    EXPECT_EQ(RunCli("play '" + folder + "a.mvm' --trace --start 5000", "null", out), 0);
    EXPECT_EQ(out, "end of playback\n");
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST(CliPlaySpeed, BadValuesAreUsageErrors) {
    std::string out;
    for (const char* arguments : {"--speed 0.25", "--speed 2.5", "--speed fast", "--speed",
                                  "--start -5", "--start 1.5", "--start soon"})
        EXPECT_EQ(RunCli(std::string("play a.mvm ") + arguments, "null", out), 2) << arguments;
}
