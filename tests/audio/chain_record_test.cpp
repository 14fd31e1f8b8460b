// murmel-cli record: the whole chain from a capture source to a finalised file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "TestFiles.h"

namespace murmel {
namespace {

std::string Le(uint32_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

uint32_t ReadLe(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
}

std::string StereoWave(const std::string& pcm) {
    return "RIFF" + Le(36 + uint32_t(pcm.size()), 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) +
           Le(2, 2) + Le(44100, 4) + Le(176400, 4) + Le(4, 2) + Le(16, 2) + "data" +
           Le(uint32_t(pcm.size()), 4) + pcm;
}

// A 1 kHz tone at half scale, `frames` stereo frames.
std::string Tone(size_t frames) {
    std::string pcm;
    for (size_t i = 0; i < frames; ++i) {
        auto sample = static_cast<int16_t>(
            std::lround(16000 * std::sin(2 * M_PI * 1000.0 * double(i) / 44100)));
        pcm += Le(uint16_t(sample), 2) + Le(uint16_t(sample), 2);
    }
    return pcm;
}

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(const std::string& environment, const std::string& arguments) {
    std::string folder = test::FreshFolder("cli-run");
    std::string command = environment + " " MURMEL_PROGRAM_DIR "murmel-cli " + arguments + " >" +
                          folder + "out 2>" + folder + "err";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(folder + "out"),
            test::ReadFile(folder + "err")};
}

TEST(RecordCommand, WithoutPresetTheFileHoldsEveryCapturedByteAsPcm) {
    std::string folder = test::FreshFolder("record-pcm");
    std::string pcm = Tone(44100 / 2 + 77);  // not a whole number of buffers
    test::WriteFile(folder + "in.wav", StereoWave(pcm));
    CliRun run = Cli("MURMEL_CAPTURE=file-fast:" + folder + "in.wav",
                     "record " + folder + "out.mp3 --preset none");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string file = test::ReadFile(folder + "out.mp3");
    ASSERT_GE(file.size(), 46u);
    EXPECT_EQ(file.substr(38, 4), "data");
    uint32_t dataSize = ReadLe(file, 42, 4);
    ASSERT_EQ(dataSize, pcm.size());
    EXPECT_TRUE(file.substr(46, dataSize) == pcm);  // fmt is 18 bytes: data at 46
    EXPECT_EQ(ReadLe(file, 4, 4), file.size() - 8);
    // The elapsed time (from the position at OnStart, which a fast source has
    // already passed), then the file's name.
    EXPECT_EQ(run.out.substr(0, 5), "0:00.") << run.out;
    EXPECT_NE(run.out.find("out.mp3\n"), std::string::npos) << run.out;
}

TEST(RecordCommand, StopsAfterTheGivenSeconds) {
    std::string folder = test::FreshFolder("record-seconds");
    test::WriteFile(folder + "in.wav", StereoWave(Tone(44100 * 3)));
    CliRun run = Cli("MURMEL_CAPTURE=file-fast:" + folder + "in.wav",
                     "record " + folder + "out.mp3 --preset none --seconds 1");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string file = test::ReadFile(folder + "out.mp3");
    ASSERT_GE(file.size(), 46u);
    uint32_t dataSize = ReadLe(file, 42, 4);
    EXPECT_EQ(dataSize, 176400u);
}

TEST(RecordCommand, CtrlCLeavesAFinalisedFile) {
    std::string folder = test::FreshFolder("record-interrupt");
    std::string command =
        "MURMEL_CAPTURE=tone:440 " MURMEL_PROGRAM_DIR "murmel-cli record " + folder +
        "out.mp3 --preset none >/dev/null & pid=$!; sleep 0.8; kill -INT $pid; wait $pid";
    int status = std::system(("sh -c '" + command + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string file = test::ReadFile(folder + "out.mp3");
    ASSERT_GE(file.size(), 46u);
    EXPECT_EQ(ReadLe(file, 4, 4), file.size() - 8);
    uint32_t dataSize = ReadLe(file, 42, 4);
    EXPECT_GT(dataSize, 176400u / 4);
    EXPECT_EQ(file.substr(46 + dataSize, 4), "fact");
}

TEST(RecordCommand, NoDeviceFailsWithoutAFile) {
    std::string folder = test::FreshFolder("record-nodevice");
    CliRun run = Cli("MURMEL_CAPTURE=pulse PULSE_SERVER=unix:/nonexistent/native",
                     "record " + folder + "out.mp3 --seconds 1");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "No wave audio recording device found\n");
    EXPECT_FALSE(std::filesystem::exists(folder + "out.mp3"));
}

// A microphone silent for the first 3 s is warned about once, on stderr; the
// recording goes on and is saved.
TEST(RecordCommand, SilenceAtTheStartIsWarnedAboutOnce) {
    std::string folder = test::FreshFolder("record-silence");
    test::WriteFile(folder + "in.wav",
                    StereoWave(std::string(size_t(44100) * 4 * 32 / 10, '\0') + Tone(44100 / 2)));
    CliRun run = Cli("MURMEL_CAPTURE=file:" + folder + "in.wav",
                     "record " + folder + "out.mp3 --preset none");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string warning = "murmel-cli record: warning: no sound from the microphone";
    EXPECT_EQ(run.err.find(warning), 0u) << run.err;
    EXPECT_EQ(run.err.find(warning, 1), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(RecordCommand, RefusesAnUnknownPreset) {
    CliRun run = Cli("MURMEL_CAPTURE=null", "record x.mp3 --preset 3K");
    EXPECT_EQ(run.status, 2);
    run = Cli("MURMEL_CAPTURE=null", "record x.mp3 --seconds -1");
    EXPECT_EQ(run.status, 2);
}

// The 8K preset through the real encoder: the file decodes (ffmpeg) to about the
// recorded length of a 1 kHz tone.
TEST(RecordCommand, PresetRecordingDecodesToTheRecordedTone) {
    std::string folder = test::FreshFolder("record-preset");
    test::WriteFile(folder + "in.wav", StereoWave(Tone(44100)));
    ASSERT_EQ(Cli("", "presets install").status, 0);
    CliRun run = Cli("MURMEL_CAPTURE=file-fast:" + folder + "in.wav",
                     "record " + folder + "out.mp3 --preset 8K");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string file = test::ReadFile(folder + "out.mp3");
    ASSERT_GE(file.size(), 58u);
    EXPECT_EQ(ReadLe(file, 20, 2), 0x55u);
    EXPECT_EQ(file.substr(50, 4), "data");  // fmt of 30 bytes: data at 58
    std::string decoded = folder + "decoded.raw";
    std::string command =
        "ffmpeg -v error -y -i " + folder + "out.mp3 -f s16le -ac 1 -ar 8000 " + decoded;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string raw = test::ReadFile(decoded);
    size_t samples = raw.size() / 2;
    EXPECT_GE(samples, 8000u);         // at least the recorded second
    EXPECT_LT(samples, 8000u + 2000);  // plus encoder delay and a frame or two
    // A 1 kHz tone at 8 kHz: zero crossings every 4 samples in the middle part.
    int crossings = 0;
    for (size_t i = 2001; i < 6000; ++i) {
        auto a = int16_t(ReadLe(raw, 2 * (i - 1), 2)), b = int16_t(ReadLe(raw, 2 * i, 2));
        if ((a < 0) != (b < 0)) ++crossings;
    }
    EXPECT_NEAR(crossings, 1000, 60);
}

}  // namespace
}  // namespace murmel
