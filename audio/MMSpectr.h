#pragma once
// The spectrum display's computation: frames of PCM in, bars of lit spots out,
// drawn into a plain RGB image that a window copies to the screen.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "MMDSPObj.h"
#include "MMSpectrFFT.h"

namespace murmel {

class EMMSpectrumError : public EMMError {
  public:
    using EMMError::EMMError;
};

enum TMMSpectrumKind { skDots, skLines, skVLines, skBars, skPeaks, skScroll };
enum TMMSpectrumGain { sgNone, sg3db, sg6db, sg9db, sg12db };
enum TMMDecayMode { dmNone, dmStepUp, dmExponential, dmUniform };
enum TMMChannel { chBoth, chLeft, chRight };

struct TMMColor {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const TMMColor&) const = default;
};
namespace colors {
constexpr TMMColor clBlack{0, 0, 0}, clAqua{0, 255, 255}, clRed{255, 0, 0}, clTeal{0, 128, 128},
    clMaroon{128, 0, 0}, clGray{128, 128, 128}, clMedGray{160, 160, 164},
    clActiveBorder{212, 208, 200};
}  // namespace colors

// The published properties that shape the display; defaults as after construction.
struct TMMSpectrumConfig {
    TMMSpectrumKind Kind = skBars;  // only bars are drawn
    int FFTLength = 128;
    TMMFFTWindow Window = fwHamming;
    TMMSpectrumGain Gain = sgNone;
    int VerticalScale = 100;
    int FrequencyScale = 1;
    int RefFreq = 1000;
    TMMDecayMode DecayMode = dmNone;
    int Decay = 1;
    int NumPeaks = 1, PeakDelay = 20, PeakSpeed = 0;
    TMMChannel Channel = chBoth;
    int Channels = 1, BitLength = 8;
    uint32_t SampleRate = 11025;
    int Space = 1, SpotSpace = 1, SpotHeight = 1;
    int Point1 = 50, Point2 = 85;
    TMMColor Bar1Color = colors::clAqua, Bar2Color = colors::clAqua, Bar3Color = colors::clRed;
    TMMColor Inactive1Color = colors::clTeal, Inactive2Color = colors::clTeal,
             Inactive3Color = colors::clMaroon;
    bool DrawInactive = true, InactiveDoted = false, ActiveDoted = false;
    bool DrawFreqScale = false, DrawAmpScale = false;
    TMMColor Color = colors::clBlack;
    bool Enabled = true;

    // The recorder's spectrum as its window sets it up.
    static TMMSpectrumConfig Recorder();
};

// One bar: columns [First, End), height in pixels, peak in spots and its hold counter.
struct TMMSpectrumBar {
    int First = -1, End = 0, Height = 0, Peak = 0, PeakHold = 0;
};

// RGB pixels, rows from the top, 3 bytes per pixel.
struct TMMSpectrumImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;
    TMMColor At(int x, int y) const;
};

class TMMSpectrum {
  public:
    TMMSpectrum();

    const TMMSpectrumConfig& Config() const { return config_; }
    // Clamps the values as the properties do and rebuilds tables and layout.
    void SetConfig(const TMMSpectrumConfig& config);
    // The client area; the drawing area is this less the scales.
    void SetSize(int width, int height);
    // Must be valid PCM ("Invalid WaveFormat"); takes its rate, width and channels.
    void SetPWaveFormat(const TWaveFormatEx* format);

    // Bytes of one frame: bytes per sample × channels × FFTLength.
    int FrameBytes() const;
    // The frame entry: computes one frame of samples and draws it.
    void RefreshPCMData(const void* frame);
    // Every 25 ms from the peak timer (any thread): lets held peaks fall. True when
    // a peak moved, so the caller may redraw.
    bool PeakTimer();
    // Clears values and peaks and redraws unlit spots.
    void ResetData();
    // Draws the current bars into the image.
    void Redraw();

    const TMMSpectrumImage& Image() const { return image_; }

    std::function<void()> OnPcmOverflow, OnGainOverflow;

    // Derived values, readable for the window and for tests.
    int Columns() const { return columns_; }
    int DrawHeight() const { return height_; }
    int SpotCount() const { return spots_; }
    int BottomMargin() const { return bottomMargin_; }
    int FirstLimit() const { return firstLimit_; }
    int SecondLimit() const { return secondLimit_; }
    int ScaleShift() const { return shift_; }
    int ColumnBin(int column) const { return columnBin_[static_cast<size_t>(column)]; }
    int ColumnFactor(int column) const { return columnFactor_[static_cast<size_t>(column)]; }
    const std::vector<int32_t>& WindowTable() const { return window_; }
    const std::vector<int16_t>& FFTResult() const { return fft_; }
    const std::vector<int32_t>& BinValues() const { return bins_; }
    // The bars, ending before the entry whose First is -1 (a copy, under the lock).
    std::vector<TMMSpectrumBar> Bars() const;
    // Spots lit for a bar height, 0..SpotCount.
    int SpotsFor(int height) const;
    int LargestBar() const { return largestBar_; }
    int LargestBin() const { return largestBin_; }

  private:
    void RebuildTables();
    void RebuildLayout();
    void ComputeScale();
    void ReadSamples(const uint8_t* frame, std::vector<int32_t>& samples);
    void ApplyDecay();
    void UpdateBars();
    void DrawTemplate();
    void FillSpot(TMMSpectrumImage& image, const TMMSpectrumBar& bar, int spot, TMMColor color,
                  bool dotted) const;

    TMMSpectrumConfig config_;
    int clientWidth_ = 315, clientHeight_ = 43;
    int columns_ = 4, height_ = 4, spots_ = 1, bottomMargin_ = 0;
    int firstLimit_ = 0, secondLimit_ = 0, shift_ = 4;
    double decayFactor_ = 1;
    std::vector<int32_t> window_;
    std::vector<int32_t> samples_;
    std::vector<float> frame_;
    std::vector<double> pairs_;
    std::vector<int16_t> fft_;
    std::vector<int32_t> bins_;
    std::vector<float> decay_;
    std::vector<std::vector<int32_t>> history_;  // dmUniform's last frames
    size_t historyNext_ = 0, historyFilled_ = 0;
    std::vector<int> columnBin_, columnLastBin_;
    std::vector<int32_t> columnFactor_;
    // Shared with the peak timer.
    mutable std::mutex barsLock_;
    std::vector<TMMSpectrumBar> bars_;
    int peakSpeed_ = 0;
    int largestBar_ = 0, largestBin_ = 0;
    TMMSpectrumImage template_, image_;
};

}  // namespace murmel
