#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "MMDSPObj.h"
#include "MMWave.h"
#include "TestFiles.h"

using namespace murmel;

namespace {

uint32_t U32(const std::string& bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
           static_cast<uint8_t>(bytes[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}
uint16_t U16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// A finalised file, checked chunk by chunk against the layout every reader expects.
struct ParsedWave {
    uint32_t formatSize = 0;
    std::string format;
    size_t dataOffset = 0;
    uint32_t dataSize = 0;
    std::string data;
    uint32_t factSamples = 0;
};

ParsedWave ParseWave(const std::string& file) {
    ParsedWave wave;
    EXPECT_GE(file.size(), 12u);
    if (file.size() < 12) return wave;
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(file, 4), file.size() - 8);
    EXPECT_EQ(file.substr(8, 4), "WAVE");
    EXPECT_EQ(file.substr(12, 4), "fmt ");
    wave.formatSize = U32(file, 16);
    wave.format = file.substr(20, wave.formatSize);
    size_t at = 20 + wave.formatSize;
    if (wave.formatSize % 2) {
        EXPECT_EQ(file[at], '\0') << "fmt pad byte";
        ++at;
    }
    EXPECT_EQ(file.substr(at, 4), "data");
    wave.dataSize = U32(file, at + 4);
    wave.dataOffset = at + 8;
    wave.data = file.substr(wave.dataOffset, wave.dataSize);
    at = wave.dataOffset + wave.dataSize;
    if (wave.dataSize % 2) {
        EXPECT_EQ(file[at], '\0') << "data pad byte";
        ++at;
    }
    EXPECT_EQ(file.substr(at, 4), "fact");
    EXPECT_EQ(U32(file, at + 4), 4u);
    wave.factSamples = U32(file, at + 8);
    EXPECT_EQ(at + 12, file.size()) << "nothing after the fact chunk";
    return wave;
}

// The MPEG Layer-3 record of the 1K preset: cbSize 12 and its extra bytes.
WaveFormatPtr Mp3Format() {
    const uint8_t bytes[30] = {0x55, 0,  1, 0, 0x40, 0x1F, 0, 0, 0xE8, 0x03, 0, 0, 1, 0,    0,
                               0,    12, 0, 1, 0,    2,    0, 0, 0,    0x90, 0, 1, 0, 0x71, 0x05};
    return WaveFormatFromBytes(bytes, sizeof bytes);
}

// A writer fed by a plain element carrying the format, driven through the
// notifications in the order the wave input spreads them.
class WriterRig {
  public:
    explicit WriterRig(const TWaveFormatEx* format, const std::string& path) {
        source.SetPWaveFormat(format);
        writer.SetInput(&source);
        writer.Wave().SetFileName(path);
    }
    void Open() {
        source.Opened();
        writer.Opened();
    }
    void Start() { writer.Started(); }
    void Push(const std::string& bytes) {
        std::vector<char> data(bytes.begin(), bytes.end());
        TWaveHdr header{};
        header.lpData = data.data();
        header.dwBufferLength = header.dwBytesRecorded = static_cast<uint32_t>(data.size());
        writer.BufferReady(&header);
    }
    void Close() {
        writer.Stopped();
        writer.Closed();
    }
    TMMDSPComponent source{"Source"};
    TMMWaveFile writer;
};

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
    return bytes;
}

class WaveFileTest : public ::testing::Test {
  protected:
    std::string folder = test::FreshFolder("wave");
    std::string path = folder + "1A2B.Mp3";
    WaveFormatPtr pcm = BuildPCMFormat(2, 16, 44100);
};

}  // namespace

TEST(WaveBytesToSamplesTest, RoundsHalvesUpWithA64BitProduct) {
    EXPECT_EQ(WaveBytesToSamples(4, 44100, 176400), 1u);
    EXPECT_EQ(WaveBytesToSamples(2, 44100, 176400), 1u);  // 0.5 goes up
    EXPECT_EQ(WaveBytesToSamples(1, 44100, 176400), 0u);
    EXPECT_EQ(WaveBytesToSamples(3000000000u, 44100, 176400), 750000000u);
    EXPECT_EQ(WaveBytesToSamples(1000, 8000, 1000), 8000u);
    EXPECT_EQ(WaveBytesToSamples(1000, 8000, 0), 0u) << "a broken format must not divide by zero";
}

TEST_F(WaveFileTest, PcmRecordingHasDataAt46AndFactOfAQuarter) {
    WriterRig rig(pcm.get(), path);
    rig.Open();
    rig.Start();
    std::string sound;
    for (int i = 0; i < 40; ++i) {  // more than the 32 KiB write buffer
        std::string piece = Pattern(2048, i);
        rig.Push(piece);
        sound += piece;
    }
    rig.Close();

    const std::string file = test::ReadFile(path);
    ParsedWave wave = ParseWave(file);
    EXPECT_EQ(wave.formatSize, 18u);
    EXPECT_EQ(wave.format, std::string(reinterpret_cast<const char*>(pcm.get()), 18));
    EXPECT_EQ(U16(wave.format, 16), 0) << "cbSize present and 0";
    EXPECT_EQ(wave.dataOffset, 46u);
    EXPECT_EQ(wave.data, sound);
    EXPECT_EQ(wave.factSamples, sound.size() / 4);
    EXPECT_EQ(file.size(), 46 + sound.size() + 12);
    EXPECT_EQ(rig.writer.Wave().FileSize(), file.size());
    EXPECT_FALSE(rig.writer.FileOpen());
}

TEST_F(WaveFileTest, Mp3RecordingKeepsTheExtraBytesAndPadsOddData) {
    WaveFormatPtr mp3 = Mp3Format();
    WriterRig rig(mp3.get(), path);
    rig.Open();
    rig.Start();
    const std::string compressed =
        Pattern(417, 3) + Pattern(418, 5) + Pattern(417, 9);  // 1252 bytes
    rig.Push(compressed.substr(0, 417));
    rig.Push(compressed.substr(417, 835));
    rig.Push("\x01");  // now odd
    rig.Close();

    ParsedWave wave = ParseWave(test::ReadFile(path));
    EXPECT_EQ(wave.formatSize, 30u);
    EXPECT_EQ(U16(wave.format, 0), 0x55);
    EXPECT_EQ(U16(wave.format, 16), 12);
    EXPECT_EQ(wave.format, std::string(reinterpret_cast<const char*>(mp3.get()), 30));
    EXPECT_EQ(wave.dataOffset, 58u);
    EXPECT_EQ(wave.dataSize, 1253u);
    EXPECT_EQ(wave.data, compressed + "\x01");
    EXPECT_EQ(wave.factSamples, 1253u * 8000 / 1000);
}

TEST_F(WaveFileTest, NothingArrivedGivesFourZeroBytes) {
    WriterRig rig(pcm.get(), path);
    rig.Open();
    rig.Start();
    rig.Close();
    ParsedWave wave = ParseWave(test::ReadFile(path));
    EXPECT_EQ(wave.data, std::string(4, '\0'));
    EXPECT_EQ(wave.factSamples, 1u);
}

TEST_F(WaveFileTest, WritesOnlyBetweenStartedAndClosedAndReplacesAnOldFile) {
    test::WriteFile(path, std::string("RIFF\0\0\0\0WAVE", 12) + std::string(100000, 'x'));
    WriterRig rig(pcm.get(), path);
    rig.Open();
    EXPECT_EQ(test::ReadFile(path).size(), 46u) << "created anew while recording, sizes 0";
    EXPECT_EQ(U32(test::ReadFile(path), 4), 0u);
    rig.Push("early");  // before the walk reached the writer: not written
    rig.Start();
    rig.Push("ABCD");
    rig.writer.Stopped();
    rig.Push("tail");  // the converter's last output at stop still goes in
    rig.writer.Closed();
    rig.Push("late");
    EXPECT_EQ(ParseWave(test::ReadFile(path)).data, "ABCDtail");
}

TEST_F(WaveFileTest, ALinkAtTheNameIsReplacedNotFollowed) {
    const std::string victim = folder + "victim.txt";
    test::WriteFile(victim, "keep me");
    std::filesystem::create_symlink(victim, path);
    WriterRig rig(pcm.get(), path);
    rig.Open();
    rig.Start();
    rig.Push("ABCD");
    rig.Close();
    EXPECT_EQ(test::ReadFile(victim), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ParseWave(test::ReadFile(path)).data, "ABCD");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a voice recording is private";
}

TEST_F(WaveFileTest, NoNameOrNoFormatWritesNothing) {
    TMMDSPComponent source("Source");
    TMMWaveFile writer;
    writer.SetInput(&source);
    writer.Wave().SetFileName(path);
    EXPECT_NO_THROW(writer.Opened());  // no format
    EXPECT_FALSE(writer.FileOpen());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(WaveFileTest, FileMustExistRefusesAMissingFile) {
    TMMWave wave;
    try {
        wave.SetFileName(folder + "missing.wav");
        FAIL() << "no error";
    } catch (const EMMWaveError& error) {
        EXPECT_STREQ(error.what(), "Error reading wave file");
    }
    wave.FileMustExist = false;
    wave.SetFileName("relative.Mp3");
    EXPECT_EQ(wave.FileName().front(), '/') << "expanded to a full path";
}

TEST_F(WaveFileTest, AnUncreatableFileFailsOpenedAndLeavesNothing) {
    std::filesystem::create_directories(path);  // a directory where the file should be
    WriterRig rig(pcm.get(), path);
    try {
        rig.Open();
        FAIL() << "no error";
    } catch (const EMMWaveError& error) {
        EXPECT_STREQ(error.what(), "Unable to create wave file");
    }
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_FALSE(rig.writer.FileOpen());

    WriterRig missingFolder(pcm.get(), folder + "no/such/folder/x.Mp3");
    EXPECT_THROW(missingFolder.Open(), EMMWaveError);
}

TEST_F(WaveFileTest, AFullDiskFinalisesAValidFileAndTheRecordingGoesOn) {
    WriterRig rig(pcm.get(), path);
    uint64_t free = 1 << 30;
    std::vector<std::string> asked;
    rig.writer.Wave().FreeSpace = [&](const std::string& folderName) {
        asked.push_back(folderName);
        return std::optional<uint64_t>(free);
    };
    rig.Open();
    rig.Start();
    rig.Push(Pattern(2048, 1));
    free = 32768 + 2048 + 10240;  // just enough
    rig.Push(Pattern(2048, 2));
    free -= 1;  // one byte short: the file is finalised at once
    rig.Push(Pattern(2048, 3));
    EXPECT_FALSE(rig.writer.FileOpen());
    const std::string finalised = test::ReadFile(path);
    ParsedWave early = ParseWave(finalised);
    EXPECT_EQ(early.data, Pattern(2048, 1) + Pattern(2048, 2));
    EXPECT_EQ(early.factSamples, 1024u);

    free = 1 << 30;
    rig.Push(Pattern(2048, 4));  // later sound is not written
    rig.Close();
    EXPECT_EQ(test::ReadFile(path), finalised) << "closing again changes nothing";
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), folder) << "the file's own folder is asked";
}

TEST_F(WaveFileTest, AFailedFreeSpaceQueryCountsAsAFullDisk) {
    WriterRig rig(pcm.get(), path);
    rig.writer.Wave().FreeSpace = [](const std::string&) { return std::optional<uint64_t>(); };
    rig.Open();
    rig.Start();
    rig.Push(Pattern(2048, 1));
    EXPECT_FALSE(rig.writer.FileOpen());
    ParsedWave wave = ParseWave(test::ReadFile(path));
    EXPECT_EQ(wave.data, std::string(4, '\0')) << "even then the file holds data";
}

TEST(WaveFreeSpaceTest, StatvfsAnswersForARealFolderOnly) {
    EXPECT_GT(QueryFreeSpace(TempFolder()).value_or(0), 0u);
    EXPECT_FALSE(QueryFreeSpace("/no/such/folder/").has_value());
}

// A write refused by the system mid-recording (here the file-size limit, which
// binds root too) leaves a complete file with what fitted.
TEST_F(WaveFileTest, AFailedWriteLeavesAValidFile) {
    constexpr rlim_t kLimit = 100000;
    WriterRig rig(pcm.get(), path);
    rig.Open();
    rig.Start();
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string sound;
    for (int i = 0; i < 80 && rig.writer.FileOpen(); ++i) {
        std::string piece = Pattern(2048, i);
        rig.Push(piece);
        sound += piece;
    }
    const bool stoppedEarly = !rig.writer.FileOpen();
    rig.Close();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(stoppedEarly);
    const std::string file = test::ReadFile(path);
    EXPECT_LE(file.size(), kLimit);
    ParsedWave wave = ParseWave(file);
    EXPECT_GT(wave.dataSize, 60000u);
    EXPECT_EQ(wave.data, sound.substr(0, wave.dataSize));
    EXPECT_EQ(wave.factSamples, WaveBytesToSamples(wave.dataSize, 44100, 176400));
}
