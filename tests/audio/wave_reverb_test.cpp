#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MMDSPObj.h"
#include "MMReverb.h"

using namespace murmel;

namespace {

void PutLong(std::vector<uint8_t>& out, int32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

// The block stored with the recorder's window, written out field by field.
std::vector<uint8_t> RecorderBlock(int echoCount = 8, const std::string& className = "TMMEcho") {
    std::vector<uint8_t> block = {'R', 'V', 'B', 0, 1};
    PutLong(block, 8);
    for (char c : std::string("Untitled")) block.push_back(static_cast<uint8_t>(c));
    for (int32_t value : {250, 100, 0, 100, 0}) PutLong(block, value);
    block.push_back(static_cast<uint8_t>(echoCount));
    block.push_back(static_cast<uint8_t>(echoCount >> 8));
    for (int i = 0; i < echoCount; ++i) {
        block.push_back(static_cast<uint8_t>(className.size()));
        for (char c : className) block.push_back(static_cast<uint8_t>(c));
        PutLong(block, 0);
        PutLong(block, 0);
    }
    return block;
}

template <typename Error>
std::string MessageOf(const std::vector<uint8_t>& block) {
    try {
        ReadReverbSettings(block.data(), block.size());
    } catch (const Error& error) {
        return error.what();
    }
    return "no error";
}

// Keeps copies of the buffers that reach it.
class Sink : public TMMDSPComponent {
  public:
    Sink() : TMMDSPComponent("Sink") {}
    void BufferReady(PWaveHdr header) override {
        received.emplace_back(header->lpData, header->lpData + header->dwBytesRecorded);
    }
    std::vector<std::vector<char>> received;
};

struct ReverbRig {
    explicit ReverbRig(const TWaveFormatEx* format) {
        source.SetPWaveFormat(format);
        reverb.SetInput(&source);
        reverb.SetOutput(&sink);
    }
    std::vector<char> Push(std::vector<char> data) {
        TWaveHdr header{};
        header.lpData = data.data();
        header.dwBufferLength = header.dwBytesRecorded = static_cast<uint32_t>(data.size());
        reverb.BufferReady(&header);
        return data;
    }
    TMMDSPComponent source{"Connector"};
    TMMReverb reverb;
    Sink sink;
};

std::vector<char> Samples16(const std::vector<int16_t>& samples) {
    std::vector<char> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

int16_t SampleAt(const std::vector<char>& bytes, size_t index) {
    int16_t value;
    std::memcpy(&value, bytes.data() + index * 2, 2);
    return value;
}

}  // namespace

TEST(ReverbSettingsTest, TheRecordersBlockReadsAndWritesBackByteForByte) {
    const std::vector<uint8_t> block = RecorderBlock();
    ASSERT_EQ(block.size(), 167u);
    TMMReverbSettings settings = ReadReverbSettings(block.data(), block.size());
    EXPECT_EQ(settings.ListFlag, 1);
    EXPECT_EQ(settings.Description, "Untitled");
    EXPECT_EQ(settings.MaxDelay, 250);
    EXPECT_EQ(settings.InputGain, 100);
    EXPECT_EQ(settings.InputPan, 0);
    EXPECT_EQ(settings.OutputGain, 100);
    EXPECT_EQ(settings.FeedBack, 0);
    EXPECT_EQ(settings.Echos, std::vector<TMMEcho>(8));
    EXPECT_EQ(WriteReverbSettings(settings), block);
}

TEST(ReverbSettingsTest, OtherValuesRoundTrip) {
    TMMReverbSettings settings;
    settings.ListFlag = 7;
    settings.Description = "Hall";
    settings.MaxDelay = 1000;
    settings.InputGain = -5;
    settings.InputPan = -40;
    settings.OutputGain = 90;
    settings.FeedBack = 30;
    settings.Echos = {{120, 50}, {-3, 0}, {300, -20}};
    const std::vector<uint8_t> block = WriteReverbSettings(settings);
    EXPECT_EQ(ReadReverbSettings(block.data(), block.size()), settings);
}

TEST(ReverbSettingsTest, MoreThanEightEchosAreCutToEight) {
    const std::vector<uint8_t> block = RecorderBlock(9);
    EXPECT_EQ(ReadReverbSettings(block.data(), block.size()).Echos.size(), 8u);
    // A count beyond the bytes present: only the first eight are read.
    std::vector<uint8_t> large = RecorderBlock(8);
    large[37] = 0xFF;
    large[38] = 0xFF;
    EXPECT_EQ(ReadReverbSettings(large.data(), large.size()).Echos.size(), 8u);
}

TEST(ReverbSettingsTest, BrokenBlocksRaiseTheStreamErrors) {
    std::vector<uint8_t> block = RecorderBlock();
    block[2] = 'X';
    EXPECT_EQ(MessageOf<EFilerError>(block), "Invalid Object stream");
    EXPECT_EQ(MessageOf<EClassNotFound>(RecorderBlock(2, "TMMFilter")),
              "Class <TMMFilter> not registered");
    EXPECT_EQ(MessageOf<EFilerError>(RecorderBlock(1, "tmmecho")), "no error")
        << "class names ignore case";

    std::vector<uint8_t> negative = RecorderBlock();
    negative[8] = 0x80;  // description length below 0
    EXPECT_EQ(MessageOf<EFilerError>(negative), "Invalid Object stream");
    const std::vector<uint8_t> whole = RecorderBlock();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        std::vector<uint8_t> shorter(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
        EXPECT_EQ(MessageOf<EFilerError>(shorter), "Invalid Object stream") << "cut at " << cut;
    }
}

TEST(ReverbSettingsTest, ABadBlockLeavesTheStagesSettingsAsTheyWere) {
    TMMReverb reverb;
    const std::vector<uint8_t> block = RecorderBlock();
    reverb.ReadEchos(block.data(), block.size());
    const TMMReverbSettings before = reverb.Settings();
    std::vector<uint8_t> broken = RecorderBlock(3, "TMMOther");
    EXPECT_THROW(reverb.ReadEchos(broken.data(), broken.size()), EClassNotFound);
    EXPECT_EQ(reverb.Settings(), before);
    EXPECT_EQ(reverb.WriteEchos(), block);
}

TEST(ReverbFormatTest, AcceptsValidPcmOnly) {
    TMMReverb reverb;
    EXPECT_NO_THROW(reverb.SetPWaveFormat(nullptr));
    EXPECT_NO_THROW(reverb.SetPWaveFormat(BuildPCMFormat(1, 8, 8000).get()));
    EXPECT_NO_THROW(reverb.SetPWaveFormat(BuildPCMFormat(2, 16, 44100).get()));
    const int bad[3][3] = {{2, 24, 44100}, {3, 16, 44100}, {2, 16, 3999}};
    for (const auto& [channels, bits, rate] : bad) {
        try {
            reverb.SetPWaveFormat(
                BuildPCMFormat(channels, bits, static_cast<uint32_t>(rate)).get());
            ADD_FAILURE() << "accepted";
        } catch (const EMMReverbError& error) {
            EXPECT_STREQ(error.what(), "Invalid WaveFormat");
        }
    }
    WaveFormatPtr mp3 = BuildPCMFormat(2, 16, 44100);
    mp3->wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    EXPECT_THROW(reverb.SetPWaveFormat(mp3.get()), EMMReverbError);
}

TEST(ReverbStateTest, TheDelayStateLivesFromOpenedToClosed) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    ReverbRig rig(format.get());
    EXPECT_FALSE(rig.reverb.HasDelayState());
    rig.reverb.Opened();
    EXPECT_EQ(rig.reverb.DelayLineLength(), 16384u);  // 11025 halved three times
    EXPECT_EQ(rig.reverb.ActiveEchoCount(), 0);
    rig.reverb.Closed();
    EXPECT_FALSE(rig.reverb.HasDelayState());

    WaveFormatPtr low = BuildPCMFormat(1, 8, 11025);
    ReverbRig lowRig(low.get());
    lowRig.reverb.Opened();
    EXPECT_EQ(lowRig.reverb.DelayLineLength(), 4096u);  // 2756 halved once
    TMMReverbSettings huge;
    huge.MaxDelay = INT32_MAX;
    ReverbRig hugeRig(low.get());
    hugeRig.reverb.SetSettings(huge);
    hugeRig.reverb.Opened();
    EXPECT_LE(hugeRig.reverb.DelayLineLength(), size_t{1} << 18)
        << "stored settings cannot ask for gigabytes";
}

TEST(ReverbProcessTest, WithoutAnActiveEchoEveryByteGoesThroughUnchanged) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    ReverbRig rig(format.get());
    const std::vector<uint8_t> block = RecorderBlock();
    rig.reverb.ReadEchos(block.data(), block.size());
    rig.reverb.Opened();
    rig.reverb.Started();
    std::vector<char> sound(2048);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<char>(i * 131 + 17);
    for (int buffer = 0; buffer < 3; ++buffer) rig.Push(sound);
    ASSERT_EQ(rig.sink.received.size(), 3u);
    for (const auto& received : rig.sink.received) EXPECT_EQ(received, sound);
}

// 4097 Hz × 1000 ms = 4097 samples, halved once to 2048: a line of 4096 samples,
// one short of the delay. The echo comes as late as the line allows.
TEST(ReverbProcessTest, AnEchoLongerThanItsLineStaysInsideIt) {
    WaveFormatPtr format = BuildPCMFormat(1, 16, 4097);
    ReverbRig rig(format.get());
    TMMReverbSettings settings;
    settings.InputGain = 100;
    settings.MaxDelay = 1000;
    settings.Echos = {{1000, 50}};
    rig.reverb.SetSettings(settings);
    rig.reverb.Opened();
    rig.reverb.Started();
    ASSERT_EQ(rig.reverb.DelayLineLength(), 4096u);
    std::vector<int16_t> impulse(5000, 0);
    impulse[0] = 20000;
    std::vector<char> out = rig.Push(Samples16(impulse));
    EXPECT_EQ(SampleAt(out, 4096), 10000);
    EXPECT_EQ(SampleAt(out, 4097), 0);
}

TEST(ReverbProcessTest, AnActiveEchoRepeatsTheSoundAfterItsDelay) {
    WaveFormatPtr format = BuildPCMFormat(1, 16, 8000);
    ReverbRig rig(format.get());
    TMMReverbSettings settings;
    settings.InputGain = 100;
    settings.Echos = {{10, 50}};  // 80 samples later at half the level
    rig.reverb.SetSettings(settings);
    rig.reverb.Opened();
    rig.reverb.Started();
    EXPECT_EQ(rig.reverb.ActiveEchoCount(), 1);
    std::vector<int16_t> impulse(200, 0);
    impulse[5] = 20000;
    std::vector<char> out = rig.Push(Samples16(impulse));
    EXPECT_EQ(SampleAt(out, 5), 20000);
    EXPECT_EQ(SampleAt(out, 85), 10000);
    EXPECT_EQ(SampleAt(out, 84), 0);
    EXPECT_EQ(SampleAt(out, 165), 0) << "no feedback, so a single repeat";

    int overflows = 0;
    rig.reverb.OnPcmOverflow = [&](TMMDSPComponent*) { ++overflows; };
    std::vector<int16_t> loud(200, 30000);
    std::vector<char> clipped = rig.Push(Samples16(loud));
    EXPECT_EQ(SampleAt(clipped, 150), 32767);
    EXPECT_EQ(overflows, 1);
}

namespace {

std::vector<std::filesystem::path> DataFiles(const std::string& kind) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(MURMEL_TEST_DATA) + "/" + kind))
        if (entry.path().filename().string().starts_with("wave-reverb-"))
            files.push_back(entry.path());
    return files;
}

std::vector<uint8_t> Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace

TEST(ReverbDataFilesTest, ValidBlocksLoadAndInvalidOnesFailCleanly) {
    const auto valid = DataFiles("valid");
    EXPECT_GE(valid.size(), 2u);
    for (const auto& path : valid) {
        const std::vector<uint8_t> block = Load(path);
        TMMReverbSettings settings;
        EXPECT_NO_THROW(settings = ReadReverbSettings(block.data(), block.size())) << path;
        EXPECT_EQ(settings.Echos.size(), 8u) << path;
        if (path.filename() != "wave-reverb-recorder.rvb") continue;
        EXPECT_EQ(WriteReverbSettings(settings), block);
    }
    const auto invalid = DataFiles("invalid");
    EXPECT_GE(invalid.size(), 4u);
    for (const auto& path : invalid) {
        const std::vector<uint8_t> block = Load(path);
        TMMReverb reverb;
        EXPECT_THROW(reverb.ReadEchos(block.data(), block.size()), EFilerError) << path;
        EXPECT_EQ(reverb.Settings(), TMMReverbSettings()) << path;
    }
}
