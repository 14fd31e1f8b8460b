// TMMACMConverter in a chain: the preset paths, pieces, the drain at the stop,
// and failures; TMMACM's presence and current format.
#include <gtest/gtest.h>

#include <cstring>

#include "AcmDriver.h"
#include "MMACMCvt.h"
#include "MMACMDlg.h"
#include "MMWave.h"
#include "PresetsStore.h"
#include "TestFiles.h"
#include "acm_support.h"

namespace murmel {
namespace {

WaveFormatPtr PresetFormat(const std::string& name) {
    std::vector<uint8_t> bytes = StandardPreset(name);
    return WaveFormatFromBytes(bytes.data(), bytes.size());
}

// Source → converter → sink, driven the way the wave input spreads its notifications.
struct Chain {
    explicit Chain(const std::string& preset = "", TMMACMQuality quality = TMMACMQuality::cqHigh) {
        converter.SetQuality(quality);
        source.SetOutput(&converter);
        converter.SetOutput(&sink);
        source.SetPWaveFormat(BuildPCMFormat(2, 16, 44100).get());
        if (!preset.empty()) converter.SetPWaveFormat(PresetFormat(preset).get());
    }
    void Open() {
        for (TMMDSPComponent* element :
             {static_cast<TMMDSPComponent*>(&converter), static_cast<TMMDSPComponent*>(&sink)}) {
            element->SetBufferSize(2048);
            element->Opened();
        }
    }
    void Start() {
        converter.Started();
        sink.Started();
    }
    // Pushes the bytes in capture buffers of 2048 bytes (the last one shorter).
    void Push(const std::vector<uint8_t>& bytes) {
        std::vector<char> buffer(2048);
        for (size_t offset = 0; offset < bytes.size(); offset += 2048) {
            size_t count = std::min<size_t>(2048, bytes.size() - offset);
            std::memcpy(buffer.data(), bytes.data() + offset, count);
            TWaveHdr header{};
            header.lpData = buffer.data();
            header.dwBufferLength = 2048;
            header.dwBytesRecorded = static_cast<uint32_t>(count);
            converter.BufferReady(&header);
        }
    }
    void Stop() {
        converter.Stopped();
        sink.Stopped();
    }
    void Close() {
        converter.Closed();
        sink.Closed();
    }
    std::vector<uint8_t> Record(const std::vector<uint8_t>& pcm) {
        Open();
        Start();
        Push(pcm);
        Stop();
        Close();
        return sink.bytes;
    }
    TMMDSPComponent source{"Source"};
    TMMACMConverter converter;
    test::CollectingSink sink;
};

struct PresetCase {
    const char* name;
    uint32_t rate;
    int channels;
    size_t stages;
    double frameSamples;
    friend void PrintTo(const PresetCase& preset, std::ostream* out) { *out << preset.name; }
};

class ConverterPreset : public ::testing::TestWithParam<PresetCase> {};

TEST_P(ConverterPreset, ReachesThePresetAndKeepsEveryMillisecond) {
    const PresetCase& preset = GetParam();
    Chain chain(preset.name);
    ASSERT_TRUE(chain.converter.ConversionPossible());
    ASSERT_EQ(chain.sink.PWaveFormat()->wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(chain.sink.PWaveFormat()->cbSize, 12);
    EXPECT_EQ(chain.sink.PWaveFormat()->nSamplesPerSec, preset.rate);

    chain.Open();
    EXPECT_EQ(chain.converter.StageCount(), preset.stages);
    chain.Start();
    chain.Push(test::SinePcm(1000, 2.0, 44100, 2));
    for (uint32_t piece : chain.sink.pieces) EXPECT_LE(piece, 2048u);
    std::vector<uint8_t> beforeStop = chain.sink.bytes;
    chain.Stop();
    EXPECT_EQ(chain.sink.bytesAtStop, chain.sink.bytes.size())
        << "drained output arrives before the writer stops";
    chain.Close();

    test::DecodedAudio audio = test::DecodeMp3(chain.sink.bytes);
    EXPECT_EQ(audio.rate, long(preset.rate));
    EXPECT_EQ(audio.channels, preset.channels);
    EXPECT_GE(audio.Seconds(), 2.0);
    // At most the encoder's and decoder's delay (576 + 529 samples) and one frame more.
    EXPECT_LE(audio.Seconds(), 2.0 + (1105.0 + preset.frameSamples) / preset.rate);
    // Without the drain the last words would be missing.
    EXPECT_LT(test::DecodeMp3(beforeStop).Seconds(), 2.0);

    std::vector<double> signal = audio.Mono();
    signal.erase(signal.begin(), signal.begin() + 2000);  // past the encoder's start-up
    signal.resize(preset.rate);                           // one second of the tone
    double tone = test::TonePower(signal, 1000, preset.rate);
    for (double other : {500.0, 1500.0, 2500.0})
        EXPECT_GT(tone, 50 * test::TonePower(signal, other, preset.rate));
    EXPECT_NEAR(double(test::ZeroCrossings(signal)), 2000.0, 40.0);
}

INSTANTIATE_TEST_SUITE_P(Presets, ConverterPreset,
                         ::testing::Values(PresetCase{"1K", 8000, 1, 2, 576},
                                           PresetCase{"2K", 16000, 1, 2, 576},
                                           PresetCase{"4K", 22050, 1, 2, 576},
                                           PresetCase{"8K", 44100, 2, 1, 1152}),
                         [](const auto& info) { return std::string("Preset") + info.param.name; });

// The bytes of a RIFF file's "data" chunk.
std::vector<uint8_t> DataChunk(const std::string& file) {
    std::string riff = test::ReadFile(file);
    for (size_t at = 12; at + 8 <= riff.size();) {
        uint32_t size;
        std::memcpy(&size, riff.data() + at + 4, 4);
        if (riff.compare(at, 4, "data") == 0 && at + 8 + size <= riff.size())
            return std::vector<uint8_t>(riff.begin() + long(at) + 8,
                                        riff.begin() + long(at + 8 + size));
        at += 8 + size + (size & 1);
    }
    return {};
}

TEST(Converter, DrainedTailReachesTheFinalisedFile) {
    TMMDSPComponent source("Source");
    TMMACMConverter converter;
    converter.SetQuality(TMMACMQuality::cqHigh);
    TMMWaveFile writer;
    std::string file = test::FreshFolder("acm_tail") + "voice.Mp3";
    writer.Wave().SetFileName(file);
    source.SetOutput(&converter);
    converter.SetOutput(&writer);
    source.SetPWaveFormat(BuildPCMFormat(2, 16, 44100).get());
    converter.SetPWaveFormat(PresetFormat("1K").get());
    for (TMMDSPComponent* element :
         {static_cast<TMMDSPComponent*>(&converter), static_cast<TMMDSPComponent*>(&writer)}) {
        element->SetBufferSize(2048);
        element->Opened();
    }
    converter.Started();
    writer.Started();
    std::vector<uint8_t> pcm = test::SinePcm(1000, 2.0, 44100, 2);
    std::vector<char> buffer(2048);
    for (size_t offset = 0; offset < pcm.size(); offset += 2048) {
        size_t count = std::min<size_t>(2048, pcm.size() - offset);
        std::memcpy(buffer.data(), pcm.data() + offset, count);
        TWaveHdr header{};
        header.lpData = buffer.data();
        header.dwBytesRecorded = static_cast<uint32_t>(count);
        converter.BufferReady(&header);
    }
    // The order in which the wave input spreads the stop and the close.
    converter.Stopped();
    writer.Stopped();
    converter.Closed();
    writer.Closed();
    test::DecodedAudio audio = test::DecodeMp3(DataChunk(file));
    EXPECT_EQ(audio.rate, 8000);
    EXPECT_GE(audio.Seconds(), 2.0);
}

TEST(Converter, WithoutPresetOrDisabledPassesPcmThrough) {
    Chain plain;
    EXPECT_FALSE(plain.converter.FormatsDiffer());
    EXPECT_FALSE(WaveFormatsDiffer(plain.sink.PWaveFormat(), BuildPCMFormat(2, 16, 44100).get()));
    std::vector<uint8_t> pcm = test::SinePcm(440, 0.1, 44100, 2);
    EXPECT_EQ(plain.Record(pcm), pcm);

    Chain disabled("2K");
    disabled.converter.SetEnabled(false);
    EXPECT_EQ(disabled.sink.PWaveFormat()->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(disabled.Record(pcm), pcm);
    disabled.converter.SetEnabled(true);
    EXPECT_EQ(disabled.sink.PWaveFormat()->wFormatTag, WAVE_FORMAT_MPEGLAYER3);
}

TEST(Converter, PresetEqualToTheInputNeedsNoConversion) {
    Chain chain;
    WaveFormatPtr same = BuildPCMFormat(2, 16, 44100);
    same->nAvgBytesPerSec = 1;  // byte rates are not compared
    chain.converter.SetPWaveFormat(same.get());
    EXPECT_FALSE(chain.converter.FormatsDiffer());
    chain.Open();
    EXPECT_EQ(chain.converter.StageCount(), 0u);
    chain.Close();
}

TEST(Converter, PresetIgnoredWhileLoadingAndWhenNone) {
    Chain chain("4K");
    chain.converter.SetPWaveFormat(nullptr);
    EXPECT_EQ(chain.converter.DestinationFormat()->nSamplesPerSec, 22050u);
    chain.converter.BeginLoading();
    chain.converter.SetPWaveFormat(PresetFormat("8K").get());
    EXPECT_EQ(chain.converter.DestinationFormat()->nSamplesPerSec, 22050u);
    chain.converter.Loaded();
    EXPECT_EQ(chain.converter.DestinationFormat()->nSamplesPerSec, 22050u);
    EXPECT_EQ(chain.sink.PWaveFormat()->nSamplesPerSec, 22050u);
}

TEST(Converter, UnreachablePresetFailsAtOpen) {
    WaveFormatPtr odd = PresetFormat("1K");
    odd->nAvgBytesPerSec = 1100;  // 8.8 kbit/s: no such MPEG bit rate
    Chain chain;
    chain.converter.SetPWaveFormat(odd.get());
    EXPECT_TRUE(chain.converter.FormatsDiffer());
    EXPECT_FALSE(chain.converter.ConversionPossible());
    EXPECT_EQ(chain.sink.PWaveFormat()->wFormatTag, WAVE_FORMAT_PCM);  // PCM goes on until Opened
    try {
        chain.converter.Opened();
        FAIL() << "no exception";
    } catch (const EMMConverterError& error) {
        EXPECT_STREQ(error.what(), "Unable to convert to destination format");
    }
    EXPECT_FALSE(chain.converter.IsConverterOpen());
}

TEST(Converter, CanConvertAnswersWithoutOpening) {
    WaveFormatPtr input = BuildPCMFormat(2, 16, 44100);
    for (const char* name : {"1K", "2K", "4K", "8K"})
        EXPECT_TRUE(TMMACMConverter::CanConvert(input.get(), PresetFormat(name).get(),
                                                TMMACMQuality::cqLow))
            << name;
    EXPECT_FALSE(
        TMMACMConverter::CanConvert(nullptr, PresetFormat("8K").get(), TMMACMQuality::cqHigh));
    EXPECT_TRUE(TMMACMConverter::CanConvert(input.get(), input.get(), TMMACMQuality::cqHigh));
    // 8-bit input reaches the encoder through a 16-bit intermediate format.
    EXPECT_TRUE(TMMACMConverter::CanConvert(BuildPCMFormat(1, 8, 11025).get(),
                                            PresetFormat("2K").get(), TMMACMQuality::cqHigh));
    EXPECT_FALSE(
        TMMACMConverter::CanConvert(PresetFormat("8K").get(), input.get(), TMMACMQuality::cqHigh));
}

TEST(Converter, LowQualityStillMakesTheTone) {
    Chain chain("2K", TMMACMQuality::cqLow);
    test::DecodedAudio audio = test::DecodeMp3(chain.Record(test::SinePcm(1000, 1.0, 44100, 2)));
    EXPECT_GE(audio.Seconds(), 1.0);
    std::vector<double> signal = audio.Mono();
    EXPECT_NEAR(double(test::ZeroCrossings(signal)) / audio.Seconds(), 2000.0, 100.0);
}

TEST(Converter, EveryRecordingGetsFreshStreams) {
    Chain chain("8K");
    std::vector<uint8_t> pcm = test::SinePcm(1000, 0.5, 44100, 2);
    std::vector<uint8_t> first = chain.Record(pcm);
    chain.sink.bytes.clear();
    std::vector<uint8_t> second = chain.Record(pcm);
    EXPECT_EQ(first, second);
}

// A codec of the test's own for behaviours the real ones never show.
class ScriptedDriver : public AcmDriver {
  public:
    enum Mode : uint16_t {
        kKeepTail = 0x7701,
        kAbsorbUntilEnd = 0x7702,
        kFail = 0x7703,
        kTriple = 0x7704,
        kKeepAll = 0x7705
    };
    Kind DriverKind() const override { return Kind::Codec; }
    uint32_t MaxFormatSize() const override { return 18; }
    bool CanOpen(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, uint32_t) const override {
        return src.wFormatTag == kAcmTagPcm && dst.wFormatTag >= kKeepTail &&
               dst.wFormatTag <= kKeepAll && src.nChannels == dst.nChannels &&
               src.nSamplesPerSec == dst.nSamplesPerSec;
    }
    MMRESULT Suggest(const WAVEFORMATEX&, WAVEFORMATEX*, uint32_t, uint32_t) const override {
        return ACMERR_NOTPOSSIBLE;
    }
    std::unique_ptr<AcmDriverStream> Open(const WAVEFORMATEX&, const WAVEFORMATEX& dst,
                                          uint32_t) override {
        return std::make_unique<Stream>(static_cast<Mode>(dst.wFormatTag));
    }

  private:
    struct Stream : AcmDriverStream {
        explicit Stream(Mode mode) : mode(mode) {}
        MMRESULT Size(uint32_t input, uint32_t* output, uint32_t) const override {
            *output = input * 3;
            return MMSYSERR_NOERROR;
        }
        MMRESULT Convert(ACMSTREAMHEADER& header, uint32_t flags) override {
            const bool end = flags & ACM_STREAMCONVERTF_END;
            const uint8_t* in = header.pbSrc;
            uint32_t length = header.cbSrcLength;
            switch (mode) {
                case kFail:
                    return MMSYSERR_ERROR;
                case kKeepAll:  // never takes anything
                    header.cbSrcLengthUsed = 0;
                    header.cbDstLengthUsed = 0;
                    return MMSYSERR_NOERROR;
                case kKeepTail: {  // keeps the last 3 bytes back until the end
                    uint32_t take = end ? length : (length > 3 ? length - 3 : 0);
                    std::memcpy(header.pbDst, in, take);
                    header.cbSrcLengthUsed = take;
                    header.cbDstLengthUsed = take;
                    return MMSYSERR_NOERROR;
                }
                case kAbsorbUntilEnd: {
                    held.insert(held.end(), in, in + length);
                    header.cbSrcLengthUsed = length;
                    uint32_t give =
                        end ? std::min<uint32_t>(uint32_t(held.size()), header.cbDstLength) : 0;
                    std::memcpy(header.pbDst, held.data(), give);
                    held.erase(held.begin(), held.begin() + give);
                    header.cbDstLengthUsed = give;
                    return MMSYSERR_NOERROR;
                }
                case kTriple:
                    for (uint32_t i = 0; i < length * 3; ++i) header.pbDst[i] = in[i / 3];
                    header.cbSrcLengthUsed = length;
                    header.cbDstLengthUsed = length * 3;
                    return MMSYSERR_NOERROR;
            }
            return MMSYSERR_ERROR;
        }
        Mode mode;
        std::vector<uint8_t> held;
    };
};

class ScriptedConverter : public ::testing::Test {
  protected:
    void SetUp() override { AcmAddLocalDriver(driver); }
    void TearDown() override { AcmRemoveLocalDriver(driver.get()); }
    static WaveFormatPtr Target(ScriptedDriver::Mode mode) {
        WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
        format->wFormatTag = mode;
        format->nBlockAlign = 1;
        return format;
    }
    static std::vector<uint8_t> Counting(size_t size) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + i / 251);
        return bytes;
    }
    std::shared_ptr<ScriptedDriver> driver = std::make_shared<ScriptedDriver>();
};

TEST_F(ScriptedConverter, KeptBytesGoFirstIntoTheNextStep) {
    Chain chain;
    chain.converter.SetPWaveFormat(Target(ScriptedDriver::kKeepTail).get());
    std::vector<uint8_t> input = Counting(10000);
    EXPECT_EQ(chain.Record(input), input);
}

TEST_F(ScriptedConverter, AbsorbingStepsAreNoErrorAndTheEndBringsAll) {
    Chain chain;
    chain.converter.SetPWaveFormat(Target(ScriptedDriver::kAbsorbUntilEnd).get());
    std::vector<uint8_t> input = Counting(5000);
    chain.Open();
    chain.Start();
    chain.Push(input);
    EXPECT_TRUE(chain.sink.bytes.empty());
    chain.Stop();
    EXPECT_EQ(chain.sink.bytes, input);
    chain.Close();
}

TEST_F(ScriptedConverter, LargeOutputGoesOnInOrderedPiecesOfAtMost2048) {
    Chain chain;
    chain.converter.SetPWaveFormat(Target(ScriptedDriver::kTriple).get());
    std::vector<uint8_t> input = Counting(2048);
    std::vector<uint8_t> out = chain.Record(input);
    EXPECT_EQ(chain.sink.pieces, (std::vector<uint32_t>{2048, 2048, 2048}));
    ASSERT_EQ(out.size(), input.size() * 3);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], input[i / 3]) << i;
}

TEST_F(ScriptedConverter, FailingStepRaisesAndEndsTheConversion) {
    Chain chain;
    chain.converter.SetPWaveFormat(Target(ScriptedDriver::kFail).get());
    chain.Open();
    chain.Start();
    try {
        chain.Push(Counting(100));
        FAIL() << "no exception";
    } catch (const EMMConverterError& error) {
        EXPECT_STREQ(error.what(), "Unable to convert to destination format");
    }
    EXPECT_FALSE(chain.converter.ConversionPossible());
    chain.Stop();
    chain.Close();
    EXPECT_TRUE(chain.sink.bytes.empty());
}

TEST_F(ScriptedConverter, FailingLaterStageIsAnErrorEvenWhenTheFirstStageHolds) {
    WaveFormatPtr target = Target(ScriptedDriver::kFail);
    target->nChannels = 1;
    target->nSamplesPerSec = 8000;  // reached through a PCM stage, which may hold the first samples
    Chain chain;
    chain.converter.SetPWaveFormat(target.get());
    chain.Open();
    ASSERT_EQ(chain.converter.StageCount(), 2u);
    chain.Start();
    std::vector<uint8_t> one(2048, 0);
    EXPECT_THROW(chain.Push(one), EMMConverterError);
    chain.Stop();
    chain.Close();
}

TEST_F(ScriptedConverter, CodecKeepingMoreThanItsBufferHoldsIsAnError) {
    Chain chain;
    chain.converter.SetPWaveFormat(Target(ScriptedDriver::kKeepAll).get());
    chain.Open();
    chain.Start();
    // Kept bytes pile up in the 32768-byte source buffer until the next step no longer fits.
    EXPECT_THROW(chain.Push(Counting(64 * 1024)), EMMConverterError);
    EXPECT_FALSE(chain.converter.ConversionPossible());
    chain.Stop();
    chain.Close();
}

TEST_F(ScriptedConverter, InputWithoutWholeBlocksPerStepIsRefusedAtOpen) {
    Chain chain;
    WaveFormatPtr input = BuildPCMFormat(2, 16, 44100);
    input->nBlockAlign = 0;  // no step size could be made from it
    chain.source.SetPWaveFormat(input.get());
    chain.converter.SetPWaveFormat(Target(ScriptedDriver::kTriple).get());
    ASSERT_TRUE(chain.converter.ConversionPossible());
    EXPECT_THROW(chain.converter.Opened(), EMMConverterError);
    EXPECT_FALSE(chain.converter.IsConverterOpen());
}

TEST(ACM, PresentWithItsCountsAndCopiesNoMoreThanItsBuffer) {
    std::vector<std::string> shown;
    TMMACM acm([&](const std::string& text) { shown.push_back(text); });
    EXPECT_TRUE(acm.ACMPresent());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(acm.NumCodecs(), 1);
    EXPECT_EQ(acm.Title(), "Select...");
    EXPECT_EQ(acm.EnumFormats(), TMMACMEnumFormats::efAll);
    ASSERT_EQ(acm.CurrentFormat().size(), 30u);
    EXPECT_TRUE(acm.CurrentFilter().empty());

    std::vector<uint8_t> preset = StandardPreset("4K");
    acm.SetPWaveFormat(WaveFormatFromBytes(preset.data(), preset.size()).get());
    EXPECT_EQ(acm.CurrentFormat(), preset);
    acm.SetPWaveFormat(nullptr);
    EXPECT_EQ(acm.CurrentFormat(), preset);

    std::vector<uint8_t> longer(18 + 200, 0xAB);
    longer[16] = 200;  // cbSize
    longer[17] = 0;
    acm.SetPWaveFormat(WaveFormatFromBytes(longer.data(), longer.size()).get());
    EXPECT_EQ(acm.CurrentFormat(), std::vector<uint8_t>(longer.begin(), longer.begin() + 30));
}

TEST(ACM, MissingOrOldManagerIsReportedAndNotPresent) {
    std::vector<std::string> shown;
    auto show = [&](const std::string& text) { shown.push_back(text); };
    TMMACM missing(show, {false, 0});
    TMMACM old(show, {true, 0x01020000});
    EXPECT_FALSE(missing.ACMPresent());
    EXPECT_FALSE(old.ACMPresent());
    EXPECT_TRUE(old.CurrentFormat().empty());
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0],
              "The Audio Compression Manager (ACM) is not installed on this system. Most features "
              "of this "
              "application will not be available.");
    EXPECT_EQ(shown[1],
              "This application requires Version 2.00 or greater of the Audio Compression Manager "
              "(ACM). The "
              "version installed on this system is Version 1.02. Most features of this application "
              "will not be "
              "available.");
}

}  // namespace
}  // namespace murmel
