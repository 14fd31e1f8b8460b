// The writer's files as other programs read them: ffmpeg must decode both the PCM
// and the MPEG Layer-3 layout back to the sound that went in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "MMDSPObj.h"
#include "MMWave.h"
#include "TestFiles.h"

using namespace murmel;

namespace {

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
        pclose(pipe);
    }
    return output;
}

bool HaveTool(const std::string& name) { return RunCommand("command -v " + name).size() > 0; }

// One second of a 1 kHz tone, 44.1 kHz stereo 16-bit.
std::string ToneBytes(double seconds) {
    const size_t frames = static_cast<size_t>(44100 * seconds);
    std::string bytes(frames * 4, '\0');
    for (size_t i = 0; i < frames; ++i) {
        auto value = static_cast<int16_t>(
            std::lround(12000 * std::sin(2 * std::numbers::pi * 1000 * i / 44100.0)));
        std::memcpy(&bytes[i * 4], &value, 2);
        std::memcpy(&bytes[i * 4 + 2], &value, 2);
    }
    return bytes;
}

void WriteThroughWriter(const TWaveFormatEx* format, const std::string& path,
                        const std::string& data) {
    TMMDSPComponent source("Source");
    TMMWaveFile writer;
    source.SetPWaveFormat(format);
    writer.SetInput(&source);
    writer.Wave().SetFileName(path);
    writer.Opened();
    writer.Started();
    for (size_t at = 0; at < data.size(); at += 2048) {
        std::string piece = data.substr(at, 2048);
        TWaveHdr header{};
        header.lpData = piece.data();
        header.dwBufferLength = header.dwBytesRecorded = static_cast<uint32_t>(piece.size());
        writer.BufferReady(&header);
    }
    writer.Stopped();
    writer.Closed();
}

// Sign changes per second of the left channel: about 2000 for a 1 kHz tone.
double CrossingsPerSecond(const std::string& pcm) {
    const size_t frames = pcm.size() / 4;
    int crossings = 0;
    int16_t previous = 0;
    for (size_t i = 0; i < frames; ++i) {
        int16_t value;
        std::memcpy(&value, &pcm[i * 4], 2);
        if (i > 0 && (previous < 0) != (value < 0)) ++crossings;
        previous = value;
    }
    return frames ? crossings * 44100.0 / static_cast<double>(frames) : 0;
}

}  // namespace

TEST(WaveInteropTest, FfmpegReadsThePcmFileBackByteForByte) {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const std::string path = test::FreshFolder("wave-interop") + "pcm.Mp3";
    const std::string tone = ToneBytes(1.0);
    WaveFormatPtr pcm = BuildPCMFormat(2, 16, 44100);
    WriteThroughWriter(pcm.get(), path, tone);
    EXPECT_EQ(RunCommand("ffmpeg -v error -f wav -i '" + path + "' -f s16le -"), tone);
}

TEST(WaveInteropTest, FfmpegDecodesTheMp3LayoutToTheTone) {
    if (!HaveTool("ffmpeg") || !HaveTool("lame")) GTEST_SKIP() << "ffmpeg or lame missing";
    const std::string folder = test::FreshFolder("wave-interop-mp3");
    const std::string tone = ToneBytes(1.0);
    test::WriteFile(folder + "tone.raw", tone);
    // Bare MPEG frames at 64 kbit/s (no tag frame), as the codec hands them over.
    RunCommand(
        "lame --silent -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 64 --cbr -t "
        "--resample 44.1 "
        "- '" +
        folder + "tone.mp3' < '" + folder + "tone.raw' 2>/dev/null");
    std::string frames = test::ReadFile(folder + "tone.mp3");
    ASSERT_GT(frames.size(), 4000u);

    const uint8_t record[30] = {
        0x55, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x40, 0x1F, 0, 0, 1,    0,   0, 0,
        12,   0, 1, 0, 2,    0,    0, 0, 0xD1, 0,    1, 0, 0x71, 0x05};  // 8000 bytes/s, blocks of
                                                                         // 209
    WaveFormatPtr mp3 = WaveFormatFromBytes(record, sizeof record);
    const std::string path = folder + "voice.Mp3";
    WriteThroughWriter(mp3.get(), path, frames);

    const std::string probe = RunCommand(
        "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels "
        "-of default=nw=1 '" +
        path + "'");
    EXPECT_NE(probe.find("codec_name=mp3"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
    const std::string decoded = RunCommand("ffmpeg -v error -i '" + path + "' -f s16le -ac 2 -");
    const double seconds = static_cast<double>(decoded.size()) / 176400;
    EXPECT_GE(seconds, 1.0);
    EXPECT_LE(seconds, 1.0 + (1152.0 * 2 + 576) / 44100);  // encoder delay and padding
    EXPECT_NEAR(CrossingsPerSecond(decoded), 2000, 40);
}
