#include <gtest/gtest.h>

#include "PlayTestFiles.h"
#include "RiffReader.h"

using namespace murmel;
using namespace murmel::test;

namespace {

RiffWave Read(const std::string& file) {
    return ReadRiffWave(reinterpret_cast<const uint8_t*>(file.data()), file.size());
}

const Mp3Preset& k2K = kPresets[1];

}  // namespace

TEST(RiffReader, FindsDataInEitherChunkOrder) {
    const std::string mp3(400, '\x5A');
    const RiffWave recorder = Read(WrapMp3(mp3, k2K, true));
    EXPECT_EQ(recorder.formatTag, RiffWave::kMpegLayer3);
    EXPECT_EQ(recorder.samplesPerSec, 16000u);
    EXPECT_EQ(recorder.channels, 1);
    EXPECT_EQ(recorder.dataOffset, 58u);  // 12 + 8 + 30 + 8, as the recorder writes it
    EXPECT_EQ(recorder.dataSize, 400u);
    EXPECT_TRUE(recorder.hasFact);

    const std::string other = WrapMp3(mp3, k2K, false);
    const RiffWave tools = Read(other);
    EXPECT_EQ(tools.dataSize, 400u);
    EXPECT_EQ(other.substr(tools.dataOffset, 400), mp3);
}

TEST(RiffReader, SkipsOddChunksWithTheirPadByte) {
    const std::string file = Riff(Chunk("fmt ", PcmFormat(8000, 1, 16)) + Chunk("junk", "abc") +
                                  Chunk("data", "0123456789"));
    const RiffWave wave = Read(file);
    EXPECT_EQ(file.substr(wave.dataOffset, wave.dataSize), "0123456789");
}

TEST(RiffReader, CutsDataThatRunsPastTheEnd) {
    std::string file = Riff(Chunk("fmt ", PcmFormat(8000, 1, 16)) + Chunk("data", std::string(100, 'x')));
    file.resize(file.size() - 40);
    EXPECT_EQ(Read(file).dataSize, 60u);
    // A size field of 0xFFFFFFFF must not overflow the walk either.
    std::string huge = Riff(Chunk("fmt ", PcmFormat(8000, 1, 16)) + Chunk("data", "abcd"));
    huge.replace(huge.size() - 8, 4, "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(Read(huge).dataSize, 4u);
}

TEST(RiffReader, UnfinishedRecordingRunsToTheEnd) {
    // While a recording runs the RIFF and data sizes are still 0.
    std::string file = Riff(Chunk("fmt ", PcmFormat(8000, 1, 16)) + Chunk("data", ""));
    file.replace(4, 4, std::string(4, '\0'));
    file += std::string(64, 'y');
    EXPECT_EQ(Read(file).dataSize, 64u);
}

TEST(RiffReader, RefusesFilesWithoutPlayableWave) {
    EXPECT_THROW(Read("not a riff file at all"), ERiffError);
    EXPECT_THROW(Read(Riff(Chunk("data", "abcd"))), ERiffError);
    EXPECT_THROW(Read(Riff(Chunk("fmt ", PcmFormat(8000, 1, 16)))), ERiffError);
    EXPECT_THROW(Read(Riff(Chunk("fmt ", "short") + Chunk("data", "abcd"))), ERiffError);
    EXPECT_THROW(Read(Riff(Chunk("fmt ", PcmFormat(0, 1, 16)) + Chunk("data", "abcd"))), ERiffError);
    std::string cut = Riff(Chunk("fmt ", PcmFormat(8000, 1, 16)));
    cut.resize(cut.size() - 6);  // the format record itself is cut off
    EXPECT_THROW(Read(cut + "data"), ERiffError);
}

TEST(RiffReader, DataFiles) {
    // tests/data/valid/play-* must read, tests/data/invalid/play-* must be refused.
    for (const char* kind : {"valid", "invalid"}) {
        const std::string folder = std::string(MURMEL_TEST_DATA) + "/" + kind;
        if (!std::filesystem::exists(folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("play-riff", 0) != 0) continue;
            const std::string file = ReadFile(entry.path().string());
            if (std::string(kind) == "valid")
                EXPECT_NO_THROW(Read(file)) << name;
            else
                EXPECT_THROW(Read(file), ERiffError) << name;
        }
    }
}
