// The writer's periodic updates leave a valid wave file at every moment, change
// nothing in the finished file, and a track cut off anywhere is mended to exactly
// what the writer would have finalised.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MMDSPObj.h"
#include "MMWave.h"
#include "TestFiles.h"
#include "WaveTrackRepair.h"

using namespace murmel;

namespace {

uint32_t U32(const std::string& bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
           static_cast<uint8_t>(bytes[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

// The 8K preset's format record: MPEG-1 Layer III, 44.1 kHz stereo, 64 kbit/s.
WaveFormatPtr Mp3Format() {
    const uint8_t record[30] = {0x55, 0,  2, 0, 0x44, 0xAC, 0, 0, 0x40, 0x1F, 0, 0, 1, 0,    0,
                                0,    12, 0, 1, 0,    0,    0, 0, 0,    0xD0, 0, 1, 0, 0x71, 5};
    return WaveFormatFromBytes(record, sizeof record);
}

// One MPEG-1 Layer III frame at 64 kbit/s and 44.1 kHz: 208 bytes, 209 padded.
std::string Mp3Frame(bool padded, char fill) {
    std::string frame = {'\xFF', '\xFB', static_cast<char>(padded ? 0x52 : 0x50), '\x64'};
    frame.resize(padded ? 209 : 208, fill);
    return frame;
}

struct Writer {
    TMMWave wave;
    std::string path;
    Writer(const std::string& name, const TWaveFormatEx* format, int32_t intervalMs) {
        path = test::FreshFolder("repair-" + name) + "track.mp3";
        wave.FileMustExist = false;
        wave.UpdateIntervalMs = intervalMs;
        wave.FreeSpace = [](const std::string&) { return std::optional<uint64_t>(1ull << 40); };
        wave.SetFileName(path);
        wave.Create(format);
    }
    void Append(const std::string& bytes) { ASSERT_TRUE(wave.Append(bytes.data(), bytes.size())); }
    std::string OnDisk() const { return test::ReadFile(path); }
};

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + size_t(seed)) >> 3);
    return bytes;
}

RepairedWaveTrack Repair(const std::string& file) {
    return RepairWaveTrack(reinterpret_cast<const uint8_t*>(file.data()), file.size());
}

std::string Bytes(const RepairedWaveTrack& track) {
    return std::string(track.bytes.begin(), track.bytes.end());
}

TEST(WaveUpdates, FinishedFileIsByteIdenticalWithAndWithoutUpdates) {
    WaveFormatPtr pcm = BuildPCMFormat(2, 16, 44100);
    WaveFormatPtr mp3 = Mp3Format();
    for (const TWaveFormatEx* format : {pcm.get(), mp3.get()}) {
        Writer plain("plain", format, 0), updated("updated", format, 1);
        // Pieces of every size up to a few buffers, the last one odd.
        for (int i = 0; i < 60; ++i) {
            std::string piece = Pattern(size_t(i) * 997 % 5000 + 1, i);
            plain.Append(piece);
            updated.Append(piece);
        }
        plain.wave.Finalise();
        updated.wave.Finalise();
        EXPECT_EQ(plain.OnDisk(), updated.OnDisk()) << "tag " << format->wFormatTag;
        EXPECT_EQ(plain.wave.FileSize(), updated.wave.FileSize());
    }
}

TEST(WaveUpdates, SizesOnDiskFollowTheSoundEveryInterval) {
    WaveFormatPtr mp3 = Mp3Format();  // 8000 bytes a second
    Writer writer("interval", mp3.get(), 2000);
    writer.Append(std::string(15000, 'a'));  // under two seconds: still in the buffer
    std::string early = writer.OnDisk();
    EXPECT_EQ(early.size(), 58u);
    EXPECT_EQ(U32(early, 54), 0u);
    writer.Append(std::string(2000, 'b'));  // past two seconds: on disk, sizes current
    std::string file = writer.OnDisk();
    ASSERT_EQ(file.size(), 58u + 17000);
    EXPECT_EQ(U32(file, 54), 17000u);
    EXPECT_EQ(U32(file, 4), file.size() - 8);
    EXPECT_EQ(file.substr(58), std::string(15000, 'a') + std::string(2000, 'b'));
    writer.Append(std::string(3000, 'c'));  // not yet another interval: sizes stay
    EXPECT_EQ(U32(writer.OnDisk(), 54), 17000u);
}

TEST(WaveRepair, ATrackCutOffAfterAnUpdateMendsToTheFinalisedFile) {
    WaveFormatPtr pcm = BuildPCMFormat(2, 16, 44100);
    Writer writer("pcm", pcm.get(), 1);
    for (int i = 0; i < 20; ++i) writer.Append(Pattern(2048, i));
    const std::string cutOff = writer.OnDisk();
    writer.wave.Finalise();
    RepairedWaveTrack track = Repair(cutOff);
    EXPECT_FALSE(track.wasFinalised);
    EXPECT_EQ(Bytes(track), writer.OnDisk());
    EXPECT_EQ(track.dataBytes, 20u * 2048);
    EXPECT_EQ(track.LengthMs(), 20 * 2048 * 1000 / 176400);
}

TEST(WaveRepair, StaleSizesComeFromTheRealLengthAndAPartialFrameIsDropped) {
    WaveFormatPtr mp3 = Mp3Format();
    std::string frames = Mp3Frame(false, 'x') + Mp3Frame(true, 'y') + Mp3Frame(false, 'z');
    // As a killed writer leaves it: sizes not yet written, the data, half a frame.
    Writer finished("mp3-finished", mp3.get(), 0);
    finished.Append(frames);
    finished.wave.Finalise();
    std::string header = finished.OnDisk().substr(0, 58);
    for (size_t at : {size_t(4), size_t(54)}) header.replace(at, 4, std::string(4, '\0'));
    std::string cutOff = header + frames + Mp3Frame(true, 'w').substr(0, 100);
    RepairedWaveTrack track = Repair(cutOff);
    EXPECT_EQ(track.dataBytes, frames.size());
    EXPECT_EQ(Bytes(track), finished.OnDisk());
    // A header cut short is dropped as well.
    EXPECT_EQ(Repair(cutOff.substr(0, 58 + frames.size() + 3)).dataBytes, frames.size());
    // Bytes that are no MPEG frames at all are kept, not guessed at.
    EXPECT_EQ(Repair(header.substr(0, 58) + "no frames here").dataBytes, 14u);
}

TEST(WaveRepair, FinalisedTracksAndTracksCaughtWhileFinalisingComeOutComplete) {
    WaveFormatPtr pcm = BuildPCMFormat(2, 16, 44100);
    Writer writer("final", pcm.get(), 0);
    writer.Append(Pattern(4096 + 2, 7));  // ends in half a frame
    writer.wave.Finalise();
    const std::string finished = writer.OnDisk();
    RepairedWaveTrack same = Repair(finished);
    EXPECT_TRUE(same.wasFinalised);
    EXPECT_EQ(Bytes(same), finished);
    // Killed after the trailer went out but before the sizes: sizes still 0.
    std::string caught = finished;
    for (size_t at : {size_t(4), size_t(42)}) caught.replace(at, 4, std::string(4, '\0'));
    RepairedWaveTrack mended = Repair(caught);
    EXPECT_EQ(mended.dataBytes, 4096u);  // the half frame of PCM goes
    EXPECT_EQ(U32(Bytes(mended), 42), 4096u);
    EXPECT_EQ(Bytes(mended).substr(46 + 4096, 4), "fact");
}

TEST(WaveRepair, NothingRecordedGivesFourZeroBytesAndForeignBytesAreRefused) {
    WaveFormatPtr mp3 = Mp3Format();
    Writer writer("empty", mp3.get(), 0);
    RepairedWaveTrack track = Repair(writer.OnDisk());
    EXPECT_EQ(track.dataBytes, 4u);
    EXPECT_EQ(Bytes(track).substr(54, 8), std::string("\x04\0\0\0\0\0\0\0", 8));
    for (std::string bad : {std::string(), std::string("RIFF\0\0\0\0WAVE", 12),
                            writer.OnDisk().substr(0, 50), std::string(100, 'x')})
        EXPECT_THROW(Repair(bad), EMMWaveError);
}

TEST(WaveRepair, FrameLengthsOfTheFourPresets) {
    auto length = [](uint8_t b1, uint8_t b2) {
        const uint8_t header[4] = {0xFF, b1, b2, 0};
        return MpegLayer3FrameLength(header);
    };
    EXPECT_EQ(length(0xFB, 0x50), 208u);  // 8K: MPEG-1, 64 kbit/s, 44.1 kHz
    EXPECT_EQ(length(0xF3, 0x48), 144u);  // MPEG-2, 32 kbit/s, 16 kHz
    EXPECT_EQ(length(0xE3, 0x18), 72u);   // 1K: MPEG-2.5, 8 kbit/s, 8 kHz
    EXPECT_EQ(length(0xFD, 0x50), 0u);    // Layer II
    EXPECT_EQ(length(0xFB, 0xF0), 0u);    // bad bit rate
}

}  // namespace
