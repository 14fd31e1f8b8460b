#include "MMSpectr.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace murmel {

namespace {

// Frames that dmUniform averages at most.
constexpr int kMaxUniformFrames = 32;
// Keeps value × factor inside 64 bits for any configuration.
constexpr int64_t kLargestFactor = int64_t{1} << 40;

int FloorPowerOfTwo(int value) {
    return static_cast<int>(std::bit_floor(static_cast<unsigned>(value)));
}

// Round half to even, as the display's integer rounding does.
int64_t RoundEven(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

}  // namespace

TMMSpectrumConfig TMMSpectrumConfig::Recorder() {
    TMMSpectrumConfig c;
    c.FFTLength = 64;
    c.Gain = sg3db;
    c.VerticalScale = 20;
    c.FrequencyScale = 2;
    c.DecayMode = dmStepUp;
    c.Decay = 6;
    c.PeakSpeed = 1;
    c.Channels = 2;
    c.BitLength = 16;
    c.SampleRate = 44100;
    c.Point2 = 75;
    c.Bar1Color = c.Bar2Color = c.Bar3Color = colors::clGray;
    c.Inactive1Color = c.Inactive2Color = c.Inactive3Color = colors::clMedGray;
    c.InactiveDoted = true;
    c.Color = colors::clActiveBorder;
    return c;
}

TMMSpectrum::TMMSpectrum() { SetConfig(config_); }

void TMMSpectrum::SetConfig(const TMMSpectrumConfig& config) {
    TMMSpectrumConfig c = config;
    c.FFTLength = FloorPowerOfTwo(std::clamp(c.FFTLength, 8, 4096));
    c.VerticalScale = std::clamp(c.VerticalScale, 1, 500);
    c.FrequencyScale = FloorPowerOfTwo(std::clamp(c.FrequencyScale, 1, 16));
    c.RefFreq = std::clamp(c.RefFreq, 1, 44100);
    c.Decay = std::clamp(c.Decay, 1, 16);
    c.NumPeaks = std::max(c.NumPeaks, 0);
    c.PeakDelay = std::clamp(c.PeakDelay, 0, 100000);
    c.PeakSpeed = std::clamp(c.PeakSpeed, 0, 100000);
    c.Channels = c.Channels == 2 ? 2 : 1;
    c.BitLength = c.BitLength == 16 ? 16 : 8;
    c.SampleRate = std::clamp<uint32_t>(c.SampleRate, 4000, 100000);
    c.Space = std::clamp(c.Space, 0, 1000);
    c.SpotSpace = std::clamp(c.SpotSpace, 0, 1000);
    c.SpotHeight = std::clamp(c.SpotHeight, 1, 1000);
    c.Point1 = std::clamp(c.Point1, 0, 100);
    c.Point2 = std::clamp(c.Point2, 0, 100);
    config_ = c;
    RebuildTables();
    RebuildLayout();
}

void TMMSpectrum::SetSize(int width, int height) {
    clientWidth_ = std::clamp(width, 0, 16384);
    clientHeight_ = std::clamp(height, 0, 16384);
    RebuildLayout();
}

void TMMSpectrum::SetPWaveFormat(const TWaveFormatEx* format) {
    if (!IsValidPCMFormat(format)) throw EMMSpectrumError("Invalid WaveFormat");
    TMMSpectrumConfig c = config_;
    c.Channels = format->nChannels;
    c.BitLength = format->wBitsPerSample;
    c.SampleRate = format->nSamplesPerSec;
    SetConfig(c);
}

int TMMSpectrum::FrameBytes() const {
    return config_.BitLength / 8 * config_.Channels * config_.FFTLength;
}

void TMMSpectrum::RebuildTables() {
    const size_t n = static_cast<size_t>(config_.FFTLength), half = n / 2;
    window_ = BuildWindowTable(config_.Window, config_.FFTLength);
    samples_.assign(n, 0);
    frame_.assign(n, 0);
    pairs_.assign(n, 0);
    fft_.assign(n, 0);
    bins_.assign(half, 0);
    decay_.assign(half, 0);
    history_.assign(kMaxUniformFrames, std::vector<int32_t>(half, 0));
    historyNext_ = historyFilled_ = 0;
    decayFactor_ = 0.0001;
    for (int i = 0; i < config_.Decay; ++i) decayFactor_ = std::sqrt(decayFactor_);
}

void TMMSpectrum::RebuildLayout() {
    const int width = clientWidth_ - (config_.DrawAmpScale ? 64 : 0);
    const int height = clientHeight_ - (config_.DrawFreqScale ? 40 : 0);
    columns_ = std::max(width, 4);
    height_ = std::max(height, 4);
    const int pitch = config_.SpotHeight + config_.SpotSpace;
    spots_ = std::max((height_ + config_.SpotSpace) / pitch, 1);
    bottomMargin_ = (config_.SpotSpace + height_ - pitch * spots_) / 2;
    firstLimit_ = static_cast<int>(RoundEven(config_.Point1 * spots_ / 100.0));
    secondLimit_ = static_cast<int>(RoundEven(config_.Point2 * spots_ / 100.0));

    // Column i shows bin floor(i / C × (N/2) / FrequencyScale + 0.01).
    const int half = config_.FFTLength / 2;
    auto binOf = [&](int column) {
        const double bin =
            static_cast<double>(column) / columns_ * half / config_.FrequencyScale + 0.01;
        return std::clamp(static_cast<int>(std::floor(bin)), 0, half - 1);
    };
    const int shownBins = std::max(half / config_.FrequencyScale, 1);
    columnBin_.assign(static_cast<size_t>(columns_) + 10, 0);
    columnLastBin_.assign(static_cast<size_t>(columns_) + 10, 0);
    for (int i = 0; i < columns_; ++i) {
        const int bin = binOf(i);
        const int next = i + 1 < columns_ ? binOf(i + 1) : shownBins;
        columnBin_[static_cast<size_t>(i)] = bin;
        columnLastBin_[static_cast<size_t>(i)] = std::clamp(next - 1, bin, half - 1);
    }
    std::lock_guard<std::mutex> guard(barsLock_);
    peakSpeed_ = config_.PeakSpeed;
    bars_.clear();
    for (int i = 0; i < columns_; ++i) {
        if (i == 0 || columnBin_[static_cast<size_t>(i)] != columnBin_[static_cast<size_t>(i) - 1])
            bars_.push_back({i, i + 1, 0, 0, 0});
        else
            bars_.back().End = i + 1;
    }
    ComputeScale();
    DrawTemplate();
    image_ = template_;
}

void TMMSpectrum::ComputeScale() {
    const double fs = config_.SampleRate, ref = config_.RefFreq, pi = std::numbers::pi;
    const double vs = config_.VerticalScale / 100.0;
    double e = height_ / (std::sqrt(ref) * vs * 32768.0);
    columnFactor_.assign(static_cast<size_t>(columns_), 0);
    shift_ = 4;
    if (config_.Gain % 2 == 0) {
        double f = std::sqrt(ref) * e;
        for (; f < 4096 && shift_ < 60; ++shift_) f *= 2;
        const int64_t factor =
            std::min<int64_t>(static_cast<int64_t>(std::floor(f + 0.5)), kLargestFactor);
        std::fill(columnFactor_.begin(), columnFactor_.end(), factor);
        return;
    }
    // The 3 dB step per octave: bins above RefFreq are lifted, below it lowered.
    if (config_.Gain / 2 == 1) e *= fs / (2 * pi * ref);
    if (config_.Gain / 2 == 2) e *= fs * fs / (4 * pi * pi * ref * ref);
    for (; std::sqrt(fs / 2) * e < 4096 && shift_ < 60; ++shift_) e *= 2;
    for (int i = 0; i < columns_; ++i) {
        const int bin = columnBin_[static_cast<size_t>(i)];
        const double factor = e * std::sqrt((bin + 1) * fs / config_.FFTLength) + 0.5;
        columnFactor_[static_cast<size_t>(i)] =
            std::min<int64_t>(RoundEven(std::min(factor, 1e15)), kLargestFactor);
    }
}

int TMMSpectrum::SpotsFor(int height) const {
    const double n = std::nearbyint(height / (static_cast<double>(height_) / spots_) + 0.5);
    return static_cast<int>(std::clamp(n, 0.0, static_cast<double>(spots_)));
}

void TMMSpectrum::ReadSamples(const uint8_t* frame, std::vector<int32_t>& samples) {
    const int n = config_.FFTLength;
    const bool stereo = config_.Channels == 2, wide = config_.BitLength == 16;
    const size_t step = (wide ? 2 : 1) * (stereo ? 2 : 1);
    bool overflow = false;
    for (int i = 0; i < n; ++i) {
        const uint8_t* at = frame + static_cast<size_t>(i) * step;
        int32_t left, right;
        if (wide) {
            left = static_cast<int16_t>(at[0] | at[1] << 8);
            right = stereo ? static_cast<int16_t>(at[2] | at[3] << 8) : left;
        } else {
            left = at[0];
            right = stereo ? at[1] : left;
        }
        int32_t value;
        if (stereo && config_.Channel == chBoth) {
            value = (left + right) / 2;
            overflow |= wide ? value > 32765 : value > 254;
        } else {
            value = stereo && config_.Channel == chRight ? right : left;
            overflow |= wide ? value > 32766 : value > 254;
        }
        samples[static_cast<size_t>(i)] = wide ? value : value - 128;
    }
    if (overflow && OnPcmOverflow) OnPcmOverflow();
}

void TMMSpectrum::ApplyDecay() {
    const size_t half = bins_.size();
    switch (config_.DecayMode) {
        case dmNone:
            break;
        case dmStepUp:
            for (size_t k = 0; k < half; ++k) {
                decay_[k] *= static_cast<float>(decayFactor_);
                if (bins_[k] >= decay_[k])
                    decay_[k] = static_cast<float>(bins_[k]);
                else
                    bins_[k] = static_cast<int32_t>(decay_[k]);
            }
            break;
        case dmExponential:
            for (size_t k = 0; k < half; ++k) {
                decay_[k] =
                    static_cast<float>(decay_[k] * decayFactor_ + (1 - decayFactor_) * bins_[k]);
                bins_[k] = static_cast<int32_t>(std::floor(decay_[k]));
            }
            break;
        case dmUniform: {
            const size_t frames =
                static_cast<size_t>(std::clamp(2 * config_.Decay - 2, 1, kMaxUniformFrames));
            history_[historyNext_] = bins_;
            historyNext_ = (historyNext_ + 1) % kMaxUniformFrames;
            historyFilled_ = std::min(historyFilled_ + 1, static_cast<size_t>(kMaxUniformFrames));
            const size_t count = std::min(frames, historyFilled_);
            for (size_t k = 0; k < half; ++k) {
                int64_t sum = 0;
                for (size_t back = 1; back <= count; ++back)
                    sum +=
                        history_[(historyNext_ + kMaxUniformFrames - back) % kMaxUniformFrames][k];
                bins_[k] = static_cast<int32_t>(sum / static_cast<int64_t>(count));
            }
            break;
        }
    }
}

void TMMSpectrum::RefreshPCMData(const void* frame) {
    if (!config_.Enabled || !frame) return;
    const int n = config_.FFTLength;
    ReadSamples(static_cast<const uint8_t*>(frame), samples_);

    // Slope pre-filter; the value before the first sample equals the first sample.
    const int order = config_.Gain / 2;
    if (order > 0) {
        int32_t previous = samples_[0], beforePrevious = samples_[0];
        for (int i = 0; i < n; ++i) {
            const int32_t s = samples_[static_cast<size_t>(i)];
            samples_[static_cast<size_t>(i)] =
                order == 1 ? s - previous : s + beforePrevious - 2 * previous;
            beforePrevious = previous;
            previous = s;
        }
    }
    const int64_t divisor = config_.BitLength == 16 ? 32768 : 128;
    for (int i = 0; i < n; ++i)
        frame_[static_cast<size_t>(i)] = static_cast<float>(
            int64_t{samples_[static_cast<size_t>(i)]} * window_[static_cast<size_t>(i)] / divisor);

    RealFFT(frame_.data(), n, pairs_.data());
    ScaleFFTResult(pairs_.data(), n, fft_.data());
    for (size_t k = 0; k < bins_.size(); ++k) {
        const double re = fft_[2 * k], im = fft_[2 * k + 1];
        bins_[k] = static_cast<int32_t>(16 * std::sqrt(re * re + im * im));
    }
    ApplyDecay();
    UpdateBars();
    Redraw();
}

void TMMSpectrum::UpdateBars() {
    bool gainOverflow = false;
    {
        std::lock_guard<std::mutex> guard(barsLock_);
        largestBar_ = largestBin_ = 0;
        for (TMMSpectrumBar& bar : bars_) {
            const int firstBin = columnBin_[static_cast<size_t>(bar.First)];
            const int lastBin = columnLastBin_[static_cast<size_t>(bar.End - 1)];
            int32_t value = 0;
            int bin = firstBin;
            for (int k = firstBin; k <= lastBin; ++k)
                if (bins_[static_cast<size_t>(k)] > value)
                    value = bins_[static_cast<size_t>(k)], bin = k;
            const int64_t height =
                (int64_t{value} * columnFactor_[static_cast<size_t>(bar.First)]) >> shift_;
            bar.Height = static_cast<int>(std::min<int64_t>(height, INT32_MAX / 2));
            if (bar.Height >= height_) gainOverflow = true;
            if (bar.Height > largestBar_) largestBar_ = bar.Height, largestBin_ = bin;
            const int lit = SpotsFor(bar.Height);
            if (lit >= bar.Peak && lit > 0 && config_.NumPeaks > 0) {
                bar.Peak = lit;
                bar.PeakHold = 2 * config_.PeakDelay + 1;
            }
        }
    }
    if (gainOverflow && OnGainOverflow) OnGainOverflow();
}

void TMMSpectrum::ResetData() {
    std::fill(fft_.begin(), fft_.end(), 0);
    std::fill(bins_.begin(), bins_.end(), 0);
    std::fill(decay_.begin(), decay_.end(), 0.0f);
    for (auto& frame : history_) std::fill(frame.begin(), frame.end(), 0);
    historyNext_ = historyFilled_ = 0;
    {
        std::lock_guard<std::mutex> guard(barsLock_);
        for (TMMSpectrumBar& bar : bars_) bar.Height = bar.Peak = bar.PeakHold = 0;
        largestBar_ = largestBin_ = 0;
    }
    Redraw();
}

bool TMMSpectrum::PeakTimer() {
    std::lock_guard<std::mutex> guard(barsLock_);
    bool moved = false;
    for (TMMSpectrumBar& bar : bars_) {
        if (bar.Peak <= 0) continue;
        if (--bar.PeakHold > 0) continue;
        bar.Peak = peakSpeed_ == 0 ? 0 : bar.Peak - 1;
        bar.PeakHold = peakSpeed_;
        moved = true;
    }
    return moved;
}

std::vector<TMMSpectrumBar> TMMSpectrum::Bars() const {
    std::lock_guard<std::mutex> guard(barsLock_);
    return bars_;
}

}  // namespace murmel
