#include "MMReverb.h"

#include <algorithm>
#include <cstring>

namespace murmel {

namespace {

constexpr size_t kShortestDelayLine = 2048;
// Longest delay line, in samples per channel (about 6 s at 44.1 kHz): settings
// from a stored block must not be able to ask for gigabytes.
constexpr size_t kLongestDelayLine = size_t{1} << 18;

int32_t Scale256(int32_t percent) { return static_cast<int32_t>(int64_t{percent} * 256 / 100); }

}  // namespace

struct TMMReverb::DelayState {
    bool sixteenBit = false;
    bool stereo = false;
    uint32_t sampleRate = 0;
    size_t length = 0;  // a power of two
    std::vector<int16_t> lines[2];
    size_t writePosition = 0;
    struct Echo {
        size_t readOffset;
        int32_t gain;
    };
    Echo echos[kMaxEchos] = {};
    std::atomic<int> echoCount{0};
    int32_t inputGain = 0, inputPan = 0, outputGain = 0, feedBack = 0;
    int32_t filter = 0;
    int32_t lastStored[2] = {};
};

TMMReverb::TMMReverb(std::string name) : TMMDSPComponent(std::move(name)) {}

TMMReverb::~TMMReverb() = default;

void TMMReverb::SetSettings(const TMMReverbSettings& settings) {
    settings_ = settings;
    if (settings_.Echos.size() > kMaxEchos) settings_.Echos.resize(kMaxEchos);
    if (state_) SetupEchos();
    if (OnChange) OnChange(this);
}

void TMMReverb::ReadEchos(const uint8_t* data, size_t size) {
    SetSettings(ReadReverbSettings(data, size));
}

size_t TMMReverb::DelayLineLength() const { return state_ ? state_->length : 0; }

int TMMReverb::ActiveEchoCount() const { return state_ ? state_->echoCount.load() : 0; }

void TMMReverb::SetPWaveFormat(const TWaveFormatEx* format) {
    if (format && !Loading() && !IsValidPCMFormat(format))
        throw EMMReverbError("Invalid WaveFormat");
    AssignWaveFormat(format);
}

void TMMReverb::AllocateState() {
    const TWaveFormatEx* format = PWaveFormat();
    if (state_ || !IsValidPCMFormat(format)) return;
    auto state = std::make_unique<DelayState>();
    state->sixteenBit = format->wBitsPerSample == 16;
    state->stereo = format->nChannels == 2;
    state->sampleRate = format->nSamplesPerSec;
    int64_t samples = int64_t{format->nSamplesPerSec} * std::max(settings_.MaxDelay, 0) / 1000;
    size_t length = kShortestDelayLine;
    while (samples > static_cast<int64_t>(kShortestDelayLine) && length < kLongestDelayLine) {
        samples /= 2;
        length *= 2;
    }
    state->length = length;
    state->lines[0].assign(length, 0);
    if (state->stereo) state->lines[1].assign(length, 0);
    state_ = std::move(state);
    SetupEchos();
}

void TMMReverb::SetupEchos() {
    DelayState& state = *state_;
    state.echoCount = 0;
    int count = 0;
    for (const TMMEcho& echo : settings_.Echos) {
        if (echo.Gain == 0 || count == static_cast<int>(kMaxEchos)) continue;
        const int64_t delay = std::clamp<int64_t>(echo.Delay, 0, settings_.MaxDelay);
        const int64_t samples = std::clamp<int64_t>(delay * state.sampleRate / 1000, 1,
                                                    static_cast<int64_t>(state.length));
        state.echos[count++] = {state.length - static_cast<size_t>(samples), Scale256(echo.Gain)};
    }
    std::fill(state.lines[0].begin(), state.lines[0].end(), 0);
    std::fill(state.lines[1].begin(), state.lines[1].end(), 0);
    state.writePosition = 0;
    state.lastStored[0] = state.lastStored[1] = 0;
    state.inputGain = Scale256(settings_.InputGain);
    state.inputPan = std::clamp(Scale256(settings_.InputPan), -256, 256);
    state.outputGain = Scale256(settings_.OutputGain);
    state.feedBack = Scale256(settings_.FeedBack);
    state.filter = settings_.Filter ? -1 : 0;
    state.echoCount = count;
}

void TMMReverb::Opened() {
    AllocateState();
    TMMDSPComponent::Opened();
}

void TMMReverb::Started() {
    if (state_) SetupEchos();
    TMMDSPComponent::Started();
}

void TMMReverb::Closed() {
    state_.reset();
    TMMDSPComponent::Closed();
}

void TMMReverb::BufferReady(PWaveHdr lpWaveHdr) {
    if (Enabled && state_ && state_->echoCount > 0 && lpWaveHdr && lpWaveHdr->lpData) {
        const size_t size = std::min(lpWaveHdr->dwBytesRecorded, lpWaveHdr->dwBufferLength);
        if (Process(reinterpret_cast<uint8_t*>(lpWaveHdr->lpData), size) && OnPcmOverflow)
            OnPcmOverflow(this);
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

// Per channel: the input (gain, pan) plus the echoes read back from the delay line;
// the line stores the input plus the fed-back echoes. Returns true when clipped.
bool TMMReverb::Process(uint8_t* data, size_t size) {
    DelayState& state = *state_;
    const int channels = state.stereo ? 2 : 1;
    const size_t sampleBytes = state.sixteenBit ? 2 : 1;
    const size_t frames = size / (sampleBytes * channels);
    const int32_t low = state.sixteenBit ? -32768 : -128, high = state.sixteenBit ? 32767 : 127;
    const size_t mask = state.length - 1;
    const int echoCount = state.echoCount;
    bool clipped = false;
    for (size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            uint8_t* at = data + (frame * channels + channel) * sampleBytes;
            int32_t sample =
                state.sixteenBit ? static_cast<int16_t>(at[0] | at[1] << 8) : at[0] - 128;
            int32_t pan = channel == 0 ? 256 - std::max(state.inputPan, 0)
                                       : 256 + std::min(state.inputPan, 0);
            if (channels == 1) pan = 256;
            int32_t in = static_cast<int32_t>(int64_t{sample} * state.inputGain / 256 * pan / 256);
            int64_t echo = 0;
            std::vector<int16_t>& line = state.lines[channel];
            for (int e = 0; e < echoCount; ++e)
                echo += int64_t{line[(state.writePosition + state.echos[e].readOffset) & mask]} *
                        state.echos[e].gain / 256;
            int64_t stored = in + echo * state.feedBack / 256;
            if (state.filter) stored = (stored + state.lastStored[channel]) / 2;
            stored = std::clamp<int64_t>(stored, low, high);
            state.lastStored[channel] = static_cast<int32_t>(stored);
            line[state.writePosition] = static_cast<int16_t>(stored);
            int64_t out = (in + echo) * state.outputGain / 256;
            if (out < low || out > high) clipped = true;
            out = std::clamp<int64_t>(out, low, high);
            if (state.sixteenBit) {
                at[0] = static_cast<uint8_t>(out & 0xFF);
                at[1] = static_cast<uint8_t>((out >> 8) & 0xFF);
            } else {
                at[0] = static_cast<uint8_t>(out + 128);
            }
        }
        state.writePosition = (state.writePosition + 1) & mask;
    }
    return clipped;
}

}  // namespace murmel
