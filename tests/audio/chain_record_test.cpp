// murmel-cli record: the whole chain from a capture source to a finalised file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

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
    // Interrupted 0.8 s after the first elapsed time, so a slow start-up (a
    // sanitizer build) does not eat into what is recorded.
    std::string command =
        "MURMEL_CAPTURE=tone:440 " MURMEL_PROGRAM_DIR "murmel-cli record " + folder +
        "out.mp3 --preset none >" + folder + "shown & pid=$!; n=0; while [ ! -s " + folder +
        "shown ] && [ $n -lt 600 ]; do sleep 0.05; n=$((n+1)); done; sleep 0.8; kill -INT $pid; "
        "wait $pid";
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

// Mono 16-bit speech at 22050 Hz from espeak-ng, as samples.
std::vector<int16_t> Speech(const std::string& folder, const std::string& name,
                            const std::string& text) {
    std::string path = folder + name + ".wav";
    EXPECT_EQ(std::system(("espeak-ng -w " + path + " '" + text + "'").c_str()), 0);
    std::string file = test::ReadFile(path);
    size_t data = file.find("data");
    std::vector<int16_t> samples;
    for (size_t at = data + 8; data != std::string::npos && at + 1 < file.size(); at += 2)
        samples.push_back(int16_t(ReadLe(file, at, 2)));
    return samples;
}

double RmsDb(const std::vector<int16_t>& samples, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return 10 * std::log10(sum / double(to - from) / (32768.0 * 32768.0));
}

// Speech with pauses over steady white noise at -30 dBFS, recorded at 2K-free PCM
// with and without --clean: the pauses come out at least 15 dB quieter, the
// speech within 3 dB of its level, nothing clipped.
TEST(RecordCommand, CleanLowersTheNoiseInThePausesAndKeepsTheSpeech) {
    std::string folder = test::FreshFolder("record-clean");
    const std::vector<int16_t> first = Speech(folder, "a", "Hello, this is a message for you.");
    const std::vector<int16_t> second = Speech(folder, "b", "Please call me back tomorrow.");
    ASSERT_GT(first.size(), 11025u);
    ASSERT_GT(second.size(), 11025u);
    // Layout at 44.1 kHz: noise, speech, pause, speech, pause.
    struct Part {
        const std::vector<int16_t>* speech;
        size_t frames;
    };
    const Part parts[] = {{nullptr, 44100}, {&first, 2 * first.size()}, {nullptr, 66150},
                          {&second, 2 * second.size()}, {nullptr, 66150}};
    std::vector<std::pair<size_t, size_t>> pauses, speeches;
    std::vector<int16_t> mix;
    uint32_t seed = 12345;
    for (const Part& part : parts) {
        (part.speech ? speeches : pauses).push_back({mix.size(), mix.size() + part.frames});
        for (size_t i = 0; i < part.frames; ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Uniform in +-1795: an RMS of 1036, -30 dBFS.
            double sample = (double(seed >> 8) / double(1u << 24) * 2 - 1) * 1795;
            if (part.speech) {  // 22050 to 44100 Hz by linear interpolation
                const std::vector<int16_t>& s = *part.speech;
                size_t at = i / 2;
                sample += i % 2 == 0 || at + 1 >= s.size() ? s[at] : (s[at] + s[at + 1]) / 2.0;
            }
            mix.push_back(int16_t(std::clamp(std::lround(sample), -32768L, 32767L)));
        }
    }
    std::string pcm;
    for (int16_t sample : mix) pcm += Le(uint16_t(sample), 2) + Le(uint16_t(sample), 2);
    test::WriteFile(folder + "in.wav", StereoWave(pcm));

    auto record = [&](const std::string& name, const std::string& option) {
        CliRun run = Cli("MURMEL_CAPTURE=file-fast:" + folder + "in.wav",
                         "record " + folder + name + " --preset none" + option);
        EXPECT_EQ(run.status, 0) << run.err;
        std::string file = test::ReadFile(folder + name);
        std::vector<int16_t> left;  // both channels carry the same sound
        for (size_t at = 46; at + 3 < file.size() && left.size() < mix.size(); at += 4)
            left.push_back(int16_t(ReadLe(file, at, 2)));
        EXPECT_EQ(left.size(), mix.size());
        left.resize(mix.size());
        return left;
    };
    const std::vector<int16_t> plain = record("plain.mp3", "");
    const std::vector<int16_t> clean = record("clean.mp3", " --clean");
    EXPECT_TRUE(plain == mix);
    const size_t margin = 44100 / 5;  // the voice's last echo and the cleaner's delay
    for (size_t p = 0; p < pauses.size(); ++p) {
        const double before = RmsDb(plain, pauses[p].first + margin, pauses[p].second);
        const double after = RmsDb(clean, pauses[p].first + margin, pauses[p].second);
        std::printf("pause %zu: %.1f dBFS plain, %.1f dBFS cleaned\n", p, before, after);
        if (p > 0) EXPECT_LE(after, before - 15);  // the first teaches the cleaner the noise
    }
    for (const auto& [from, to] : speeches) {
        const double before = RmsDb(plain, from, to), after = RmsDb(clean, from, to);
        std::printf("speech: %.1f dBFS plain, %.1f dBFS cleaned\n", before, after);
        EXPECT_NEAR(after, before, 3);
    }
    EXPECT_EQ(std::count_if(clean.begin(), clean.end(),
                            [](int16_t s) { return s == 32767 || s == -32768; }),
              0);
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
