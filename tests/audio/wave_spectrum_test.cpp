#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

#include "MMDSPObj.h"
#include "MMSpectr.h"
#include "MMSpectrFFT.h"
#include "MMSpectrFeed.h"

using namespace murmel;

namespace {

constexpr int kN = 64;
constexpr double kBinHz = 44100.0 / kN;

// One frame of 16-bit stereo (the recorder's format), both channels given.
std::vector<uint8_t> Frame(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
    std::vector<uint8_t> bytes(left.size() * 4);
    for (size_t i = 0; i < left.size(); ++i) {
        std::memcpy(&bytes[i * 4], &left[i], 2);
        std::memcpy(&bytes[i * 4 + 2], &right[i], 2);
    }
    return bytes;
}

std::vector<int16_t> Tone(double hertz, double amplitude, int count = kN) {
    std::vector<int16_t> samples(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        samples[static_cast<size_t>(i)] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * hertz * i / 44100.0)));
    return samples;
}

std::vector<uint8_t> ToneFrame(int bin, double amplitude) {
    auto tone = Tone(bin * kBinHz, amplitude);
    return Frame(tone, tone);
}

std::vector<uint8_t> Silence() { return std::vector<uint8_t>(kN * 4, 0); }

class SpectrumTest : public ::testing::Test {
  protected:
    SpectrumTest() {
        spectrum.SetConfig(TMMSpectrumConfig::Recorder());
        spectrum.SetSize(315, 43);
    }
    TMMSpectrumBar BarOfBin(int bin) {
        for (const TMMSpectrumBar& bar : spectrum.Bars())
            if (spectrum.ColumnBin(bar.First) == bin) return bar;
        ADD_FAILURE() << "no bar for bin " << bin;
        return {};
    }
    static int SpotRow(int spot) { return 42 - 2 * (spot - 1); }
    TMMSpectrum spectrum;
};

}  // namespace

TEST(SpectrumWindowTest, TablesHoldTheScaledWindowValues) {
    const std::vector<int32_t> hamming = BuildWindowTable(fwHamming, 64);
    ASSERT_EQ(hamming.size(), 64u);
    EXPECT_EQ(hamming[0], 2621);    // 0.08 × 32767
    EXPECT_EQ(hamming[16], 17694);  // 0.54 × 32767
    EXPECT_EQ(hamming[32], 32767);
    EXPECT_EQ(hamming[1], hamming[63]);
    EXPECT_EQ(BuildWindowTable(fwHanning, 64)[0], 0);
    EXPECT_EQ(BuildWindowTable(fwGaussian, 64)[0], 221);  // e^-5 × 32767
    EXPECT_EQ(BuildWindowTable(fwGaussian, 64)[32], 32767);
    EXPECT_EQ(BuildWindowTable(fwBlackman, 64)[32], 32767);
    EXPECT_EQ(BuildWindowTable(fwParzen, 64)[0], 504);  // 1 - 64/65
    for (int32_t w : BuildWindowTable(fwRectangular, 64)) EXPECT_EQ(w, 32767);
}

TEST(SpectrumFFTTest, PacksPairsAndScalesByHalfTheLength) {
    std::vector<float> input(64, 1000.0f);
    std::vector<double> pairs(64);
    std::vector<int16_t> result(64);
    RealFFT(input.data(), 64, pairs.data());
    ScaleFFTResult(pairs.data(), 64, result.data());
    EXPECT_EQ(result[0], 2000) << "DC sum 64000 / 32";
    EXPECT_EQ(result[1], 0);
    for (int i = 2; i < 64; ++i) EXPECT_EQ(result[static_cast<size_t>(i)], 0) << i;

    // A sine on bin 3 and a cosine on bin 5: X = -i·A·N/2 and A·N/2.
    for (int i = 0; i < 64; ++i)
        input[static_cast<size_t>(i)] =
            static_cast<float>(800 * std::sin(2 * std::numbers::pi * 3 * i / 64) +
                               300 * std::cos(2 * std::numbers::pi * 5 * i / 64));
    RealFFT(input.data(), 64, pairs.data());
    EXPECT_NEAR(pairs[6], 0, 0.01);
    EXPECT_NEAR(pairs[7], -800 * 32, 0.01);
    EXPECT_NEAR(pairs[10], 300 * 32, 0.01);
    EXPECT_NEAR(pairs[11], 0, 0.01);
    EXPECT_NEAR(pairs[8], 0, 0.01);

    // Values beyond 16 bits keep their low 16 bits; negatives truncate towards zero.
    std::vector<double> large(64, 0.0);
    large[0] = 40000.0 * 32;
    large[2] = -1.9 * 32;
    ScaleFFTResult(large.data(), 64, result.data());
    EXPECT_EQ(result[0], static_cast<int16_t>(40000 - 65536));
    EXPECT_EQ(result[2], -1);
}

TEST_F(SpectrumTest, TheRecordersLayoutAndScale) {
    EXPECT_EQ(spectrum.Columns(), 315);
    EXPECT_EQ(spectrum.DrawHeight(), 43);
    EXPECT_EQ(spectrum.SpotCount(), 22);
    EXPECT_EQ(spectrum.BottomMargin(), 0);
    EXPECT_EQ(spectrum.FirstLimit(), 11);
    EXPECT_EQ(spectrum.SecondLimit(), 16);  // 16.5 rounds to even
    EXPECT_EQ(spectrum.FrameBytes(), 256);
    EXPECT_EQ(spectrum.ScaleShift(), 22);
    EXPECT_EQ(spectrum.ColumnFactor(0), 1428);
    EXPECT_GT(spectrum.ColumnFactor(314), spectrum.ColumnFactor(0))
        << "3 dB per octave lifts the top";

    const auto bars = spectrum.Bars();
    ASSERT_EQ(bars.size(), 16u);
    int column = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        EXPECT_EQ(bars[i].First, column);
        EXPECT_TRUE(bars[i].End - bars[i].First == 19 || bars[i].End - bars[i].First == 20) << i;
        EXPECT_EQ(spectrum.ColumnBin(bars[i].First), static_cast<int>(i));
        column = bars[i].End;
    }
    EXPECT_EQ(column, 315);
}

TEST_F(SpectrumTest, FrequencyScaleOneShowsAllThirtyTwoBins) {
    TMMSpectrumConfig config = spectrum.Config();
    config.FrequencyScale = 1;
    spectrum.SetConfig(config);
    EXPECT_EQ(spectrum.Bars().size(), 32u);
    EXPECT_EQ(spectrum.ColumnBin(314), 31);
    config.FrequencyScale = 3;  // rounded down to a power of two
    spectrum.SetConfig(config);
    EXPECT_EQ(spectrum.Config().FrequencyScale, 2);
    config.FFTLength = 100;
    spectrum.SetConfig(config);
    EXPECT_EQ(spectrum.Config().FFTLength, 64);
}

TEST_F(SpectrumTest, AFullScaleToneLightsItsBarAndOverflows) {
    int overflows = 0;
    spectrum.OnGainOverflow = [&] { ++overflows; };
    const auto frame = ToneFrame(8, 32767);
    spectrum.RefreshPCMData(frame.data());
    EXPECT_EQ(overflows, 1);
    const TMMSpectrumBar bar = BarOfBin(8);
    EXPECT_EQ(spectrum.SpotsFor(bar.Height), 22);
    EXPECT_EQ(bar.Peak, 22);
    EXPECT_EQ(bar.PeakHold, 41);
    EXPECT_EQ(spectrum.SpotsFor(BarOfBin(0).Height), 0);
    EXPECT_EQ(spectrum.LargestBin(), 8);
}

TEST_F(SpectrumTest, BarHeightFollowsTheThreeDecibelSlope) {
    // height ≈ |X|/(N/2) × H × √((k+1)·fs/N / RefFreq) / (VS × 32768); a Hamming
    // window keeps 0.54 of a tone centred on its bin.
    for (int bin : {2, 5, 11}) {
        TMMSpectrum fresh;
        fresh.SetConfig(TMMSpectrumConfig::Recorder());
        fresh.SetSize(315, 43);
        const double amplitude = 1500;
        const auto frame = ToneFrame(bin, amplitude);
        fresh.RefreshPCMData(frame.data());
        const double expected =
            amplitude * 0.54 * 43 * std::sqrt((bin + 1) * kBinHz / 1000) / (0.2 * 32768);
        for (const TMMSpectrumBar& bar : fresh.Bars()) {
            if (fresh.ColumnBin(bar.First) != bin) continue;
            EXPECT_NEAR(bar.Height, expected, 1.0) << "bin " << bin;
        }
    }
}

TEST_F(SpectrumTest, StepUpDecayLowersBinsByTheFactorPerFrame) {
    const auto tone = ToneFrame(4, 8000);
    spectrum.RefreshPCMData(tone.data());
    const double start = spectrum.BinValues()[4];
    ASSERT_GT(start, 10000);
    const auto silence = Silence();
    const double factor = std::pow(0.0001, 1.0 / 64);
    EXPECT_NEAR(factor, 0.8660, 0.0001);
    for (int frame = 1; frame <= 5; ++frame) {
        spectrum.RefreshPCMData(silence.data());
        EXPECT_NEAR(spectrum.BinValues()[4], start * std::pow(factor, frame), 1.5) << frame;
    }
    // A louder frame replaces the decaying value at once.
    const auto louder = ToneFrame(4, 16000);
    spectrum.RefreshPCMData(louder.data());
    EXPECT_GT(spectrum.BinValues()[4], start * 1.9);
}

TEST_F(SpectrumTest, PeaksHoldAboutASecondThenFallASpotPerTick) {
    const auto tone = ToneFrame(8, 32767);
    spectrum.RefreshPCMData(tone.data());
    for (int tick = 1; tick <= 40; ++tick) spectrum.PeakTimer();
    EXPECT_EQ(BarOfBin(8).Peak, 22);
    EXPECT_TRUE(spectrum.PeakTimer());  // the 41st tick, 1025 ms
    EXPECT_EQ(BarOfBin(8).Peak, 21);
    spectrum.PeakTimer();
    EXPECT_EQ(BarOfBin(8).Peak, 20);
    for (int tick = 0; tick < 30; ++tick) spectrum.PeakTimer();
    EXPECT_EQ(BarOfBin(8).Peak, 0);
    EXPECT_FALSE(spectrum.PeakTimer());

    TMMSpectrumConfig config = spectrum.Config();
    config.PeakSpeed = 0;
    spectrum.SetConfig(config);
    spectrum.RefreshPCMData(tone.data());
    for (int tick = 1; tick <= 41; ++tick) spectrum.PeakTimer();
    EXPECT_EQ(BarOfBin(8).Peak, 0) << "PeakSpeed 0 drops at once";
}

// The peak timer runs on a timer thread of its own while frames are drawn.
TEST_F(SpectrumTest, ThePeakTimerMayRunOnAnotherThread) {
    std::atomic<bool> done{false};
    std::thread timer([&] {
        while (!done) spectrum.PeakTimer();
    });
    const auto tone = ToneFrame(8, 32767), silence = Silence();
    for (int frame = 0; frame < 300; ++frame)
        spectrum.RefreshPCMData(frame % 3 ? silence.data() : tone.data());
    done = true;
    timer.join();
    for (const TMMSpectrumBar& bar : spectrum.Bars()) EXPECT_LE(bar.Peak, 22);
}

TEST_F(SpectrumTest, SilenceShowsOnlyDottedUnlitSpots) {
    const auto silence = Silence();
    for (int i = 0; i < 3; ++i) spectrum.RefreshPCMData(silence.data());
    for (const TMMSpectrumBar& bar : spectrum.Bars()) {
        EXPECT_EQ(bar.Height, 0);
        EXPECT_EQ(bar.Peak, 0);
    }
    const TMMSpectrumImage& image = spectrum.Image();
    ASSERT_EQ(image.Width, 315);
    ASSERT_EQ(image.Height, 43);
    EXPECT_EQ(image.At(0, SpotRow(1)), colors::clMedGray);
    EXPECT_EQ(image.At(1, SpotRow(1)), colors::clActiveBorder) << "dotted";
    EXPECT_EQ(image.At(0, SpotRow(1) - 1), colors::clActiveBorder) << "space between spots";
    EXPECT_EQ(image.At(1, SpotRow(22)), colors::clActiveBorder);
    EXPECT_EQ(image.At(0, SpotRow(22)), colors::clMedGray);
    for (int y = 0; y < 43; ++y)
        EXPECT_EQ(image.At(19, y), colors::clActiveBorder) << "space between bars";
}

TEST_F(SpectrumTest, LitSpotsAndAPeakMarkerAreDrawnInTheirColours) {
    TMMSpectrumConfig config = spectrum.Config();
    config.DecayMode = dmNone;
    config.Bar1Color = {1, 1, 1};
    config.Bar2Color = {2, 2, 2};
    config.Bar3Color = {3, 3, 3};
    spectrum.SetConfig(config);
    const auto tone = ToneFrame(8, 32767);
    spectrum.RefreshPCMData(tone.data());
    const TMMSpectrumBar bar = BarOfBin(8);
    const TMMSpectrumImage& lit = spectrum.Image();
    EXPECT_EQ(lit.At(bar.First + 1, SpotRow(1)), (TMMColor{1, 1, 1})) << "solid, not dotted";
    EXPECT_EQ(lit.At(bar.First, SpotRow(11)), (TMMColor{1, 1, 1}));
    EXPECT_EQ(lit.At(bar.First, SpotRow(12)), (TMMColor{2, 2, 2}));
    EXPECT_EQ(lit.At(bar.First, SpotRow(16)), (TMMColor{2, 2, 2}));
    EXPECT_EQ(lit.At(bar.First, SpotRow(17)), (TMMColor{3, 3, 3}));
    EXPECT_EQ(lit.At(bar.End - 2, SpotRow(22)), (TMMColor{3, 3, 3}));
    EXPECT_EQ(lit.At(bar.End - 1, SpotRow(22)), colors::clActiveBorder)
        << "Space pixel on the right";

    const auto silence = Silence();
    spectrum.RefreshPCMData(silence.data());
    const TMMSpectrumImage& after = spectrum.Image();
    EXPECT_EQ(after.At(bar.First + 1, SpotRow(22)), (TMMColor{3, 3, 3})) << "the peak stays";
    EXPECT_EQ(after.At(bar.First + 1, SpotRow(21)), colors::clActiveBorder)
        << "below it, unlit dots";
    EXPECT_EQ(after.At(bar.First, SpotRow(21)), colors::clMedGray);

    spectrum.ResetData();
    EXPECT_EQ(spectrum.Image().At(bar.First + 1, SpotRow(22)), colors::clActiveBorder);
    EXPECT_EQ(BarOfBin(8).Peak, 0);
    for (int32_t value : spectrum.BinValues()) EXPECT_EQ(value, 0);
}

TEST_F(SpectrumTest, ChannelsAreMixedOrPicked) {
    const auto tone = Tone(4 * kBinHz, 8000);
    const std::vector<int16_t> quiet(kN, 0);
    const auto rightOnly = Frame(quiet, tone);
    TMMSpectrumConfig config = spectrum.Config();
    config.DecayMode = dmNone;
    config.Channel = chLeft;
    spectrum.SetConfig(config);
    spectrum.RefreshPCMData(rightOnly.data());
    EXPECT_EQ(spectrum.BinValues()[4], 0);
    config.Channel = chRight;
    spectrum.SetConfig(config);
    spectrum.RefreshPCMData(rightOnly.data());
    const int32_t full = spectrum.BinValues()[4];
    config.Channel = chBoth;
    spectrum.SetConfig(config);
    spectrum.RefreshPCMData(rightOnly.data());
    EXPECT_NEAR(spectrum.BinValues()[4], full / 2, full / 100);
}

TEST_F(SpectrumTest, PcmOverflowFiresNearFullScale) {
    int overflows = 0;
    spectrum.OnPcmOverflow = [&] { ++overflows; };
    const auto edge = Frame(std::vector<int16_t>(kN, 32765), std::vector<int16_t>(kN, 32765));
    spectrum.RefreshPCMData(edge.data());
    EXPECT_EQ(overflows, 0);
    const auto over = Frame(std::vector<int16_t>(kN, 32766), std::vector<int16_t>(kN, 32766));
    spectrum.RefreshPCMData(over.data());
    EXPECT_EQ(overflows, 1);
}

TEST_F(SpectrumTest, FormatEntryTakesValidPcmOnly) {
    spectrum.SetPWaveFormat(BuildPCMFormat(1, 8, 11025).get());
    EXPECT_EQ(spectrum.FrameBytes(), 64);
    const std::vector<uint8_t> midpoint(64, 128);  // 8-bit silence
    spectrum.RefreshPCMData(midpoint.data());
    for (int32_t value : spectrum.BinValues()) EXPECT_EQ(value, 0);
    try {
        spectrum.SetPWaveFormat(BuildPCMFormat(2, 24, 44100).get());
        FAIL() << "accepted";
    } catch (const EMMSpectrumError& error) {
        EXPECT_STREQ(error.what(), "Invalid WaveFormat");
    }
    EXPECT_THROW(spectrum.SetPWaveFormat(nullptr), EMMSpectrumError);
    EXPECT_EQ(spectrum.FrameBytes(), 64) << "unchanged after a refused format";
}

TEST_F(SpectrumTest, TheFeedShowsOneFrameWhenItsMomentHasCome) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    TMMSpectrumFeed feed;
    feed.Start(format.get(), 2048);
    std::vector<uint8_t> buffer(2048);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i);
    EXPECT_FALSE(feed.Refresh(spectrum, 0)) << "nothing copied yet";
    feed.Copy(buffer.data(), buffer.size(), 1000);
    EXPECT_TRUE(feed.Refresh(spectrum, 1000));
    EXPECT_FALSE(feed.Refresh(spectrum, 1000)) << "one frame per pass";
    // Frame k is due k × 256 × 10^6 / 176400 µs after arrival (1451 for k = 1).
    EXPECT_FALSE(feed.Refresh(spectrum, 2450));
    EXPECT_TRUE(feed.Refresh(spectrum, 2451));
    for (int k = 2; k < 8; ++k) EXPECT_TRUE(feed.Refresh(spectrum, 1000000)) << k;
    EXPECT_EQ(feed.Offset(), 2048u);
    EXPECT_TRUE(feed.Pending());
    EXPECT_FALSE(feed.Refresh(spectrum, 1000000));
    EXPECT_FALSE(feed.Pending()) << "the buffer is used up";

    // A new buffer restarts at offset 0; a longer one is cut to the buffer size.
    std::vector<uint8_t> longer(5000, 0);
    feed.Copy(longer.data(), longer.size(), 2000000);
    EXPECT_EQ(feed.Offset(), 0u);
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(feed.Refresh(spectrum, 3000000));
    EXPECT_FALSE(feed.Refresh(spectrum, 3000000));

    feed.Synchronize = false;
    feed.Copy(buffer.data(), 600, 5000000);
    EXPECT_TRUE(feed.Refresh(spectrum, 0));
    EXPECT_TRUE(feed.Refresh(spectrum, 0));
    EXPECT_FALSE(feed.Refresh(spectrum, 0)) << "600 bytes hold two whole frames";

    feed.Stop();
    feed.Copy(buffer.data(), buffer.size(), 6000000);
    EXPECT_FALSE(feed.Refresh(spectrum, 7000000)) << "stopped: nothing is shown";
}

// The capture thread copies while the main thread's passes read.
TEST_F(SpectrumTest, TheFeedTakesCopiesFromTheCaptureThread) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    TMMSpectrumFeed feed;
    feed.Start(format.get(), 2048);
    std::atomic<bool> done{false};
    std::thread capture([&] {
        std::vector<uint8_t> buffer(2048, 7);
        for (uint64_t now = 0; !done; now += 11610) feed.Copy(buffer.data(), buffer.size(), now);
    });
    int shown = 0;
    for (int pass = 0; pass < 5000 || shown == 0; ++pass)
        shown += feed.Refresh(spectrum, UINT64_MAX / 2);
    done = true;
    capture.join();
    EXPECT_GT(shown, 0);
    feed.Stop();
}
