#include "VoiceCleaner.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "webrtc/modules/audio_processing/include/audio_processing.h"

namespace murmel {
namespace {

constexpr int kWorkRates[] = {8000, 16000, 32000, 48000};  // what the library takes
constexpr int kFramesPerSecond = 100;                      // it works on 10 ms frames
// The gain control aims the voice's peaks at 6 dB below full scale and raises a
// quiet voice by at most 9 dB: measured on speech over noise, the voice keeps its
// level within about a decibel and the pauses are not pulled up again.
constexpr int kTargetLevelDbfs = 6;
constexpr int kCompressionGainDb = 9;
// Room reserved up front so the capture thread does not allocate for ordinary buffers.
constexpr size_t kReservedSeconds = 1;

// The next rate the library takes, so no part of the voice's band is lost.
int WorkRateFor(int rate) {
    for (int work : kWorkRates)
        if (work >= rate) return work;
    return kWorkRates[std::size(kWorkRates) - 1];
}

void Check(int result, const char* what) {
    if (result != webrtc::AudioProcessing::kNoError)
        throw VoiceCleanerError(std::string("Voice cleaning: ") + what + " failed (" +
                                std::to_string(result) + ")");
}

struct SoxrFree {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using Resampler = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrFree>;

Resampler MakeResampler(int from, int to, int channels) {
    soxr_error_t error = nullptr;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_LQ, 0);
    soxr_t resampler = soxr_create(from, to, channels, &error, nullptr, &quality, nullptr);
    if (error) throw VoiceCleanerError(std::string("Voice cleaning: resampler: ") + error);
    return Resampler(resampler);
}

// The most output frames `resampler` holds back, found by running silence
// through it a millisecond at a time; it is left as new.
size_t ResamplerLag(soxr_t resampler, int from, int to, int channels) {
    const size_t step = from / 1000, steps = 200;
    std::vector<float> silence(step * channels), out(size_t(to) * channels);
    size_t fed = 0, made = 0, lag = 0;
    for (size_t i = 0; i < steps; ++i) {
        size_t used = 0, now = 0;
        if (soxr_error_t error =
                soxr_process(resampler, silence.data(), step, &used, out.data(), to, &now))
            throw VoiceCleanerError(std::string("Voice cleaning: resampler: ") + error);
        fed += used;
        made += now;
        const size_t expected = fed * to / from;
        lag = std::max(lag, expected > made ? expected - made : 0);
    }
    soxr_clear(resampler);
    return lag;
}

// A first-in first-out run of interleaved samples.
struct SampleQueue {
    std::vector<float> samples;
    size_t start = 0;
    size_t Size() const { return samples.size() - start; }
    const float* Data() const { return samples.data() + start; }
    void Drop(size_t count) {
        start += count;
        if (start == samples.size()) {
            samples.clear();
            start = 0;
        } else if (start > samples.capacity() / 2) {
            samples.erase(samples.begin(), samples.begin() + start);
            start = 0;
        }
    }
};

}  // namespace

struct VoiceCleaner::Impl {
    int rate, workRate;
    int ioChannels;    // in the buffers
    int channels;      // cleaned: 1 when the recording keeps one, else ioChannels
    size_t workFrame;  // frames per 10 ms at the work rate
    size_t latency;
    uint64_t underruns = 0;
    std::unique_ptr<webrtc::AudioProcessing> processing;
    webrtc::StreamConfig stream;
    Resampler toWork, fromWork;  // none when the capture rate is taken as it is
    std::vector<float> input;    // this buffer as floats
    SampleQueue pending;         // at the work rate, waiting for a whole frame
    SampleQueue cleaned;         // at the capture rate, waiting to go out
    std::vector<float> planes;   // one frame, channel after channel
    std::vector<float*> planePointers;
    std::vector<float> frameOut;  // one cleaned frame, interleaved

    // Appends what `resampler` makes of `frames` frames to `queue` (all of it
    // when there is no resampler).
    void Feed(soxr_t resampler, double ratio, const float* data, size_t frames,
              SampleQueue& queue) {
        if (!resampler) {
            queue.samples.insert(queue.samples.end(), data, data + frames * channels);
            return;
        }
        size_t room = static_cast<size_t>(std::ceil(frames * ratio)) + 64;
        size_t old = queue.samples.size();
        queue.samples.resize(old + room * channels);
        size_t used = 0, made = 0;
        if (soxr_error_t error = soxr_process(resampler, data, frames, &used,
                                              queue.samples.data() + old, room, &made))
            throw VoiceCleanerError(std::string("Voice cleaning: resampler: ") + error);
        queue.samples.resize(old + made * channels);
    }

    void CleanFrame(const float* frame) {
        for (int c = 0; c < channels; ++c)
            for (size_t i = 0; i < workFrame; ++i)
                planes[c * workFrame + i] = frame[i * channels + c];
        Check(processing->ProcessStream(planePointers.data(), stream, stream, planePointers.data()),
              "ProcessStream");
        for (int c = 0; c < channels; ++c)
            for (size_t i = 0; i < workFrame; ++i)
                frameOut[i * channels + c] = planes[c * workFrame + i];
        Feed(fromWork.get(), double(rate) / workRate, frameOut.data(), workFrame, cleaned);
    }
};

VoiceCleaner::VoiceCleaner(int sampleRate, int ioChannels, int keptRate, int keptChannels)
    : impl_(std::make_unique<Impl>()) {
    if (sampleRate < 4000 || sampleRate > 100000 || ioChannels < 1 || ioChannels > 2)
        throw VoiceCleanerError("Voice cleaning: unsupported format");
    Impl& m = *impl_;
    m.rate = sampleRate;
    m.workRate = WorkRateFor(keptRate > 0 ? std::min(sampleRate, keptRate) : sampleRate);
    m.ioChannels = ioChannels;
    const int channels = keptChannels == 1 ? 1 : ioChannels;
    m.channels = channels;
    m.workFrame = m.workRate / kFramesPerSecond;
    m.stream = webrtc::StreamConfig(m.workRate, channels);

    webrtc::Config config;
    // The library's newer gain control drives a sound card's mixer and overrides
    // the digital settings below; there is no mixer here to drive.
    config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
    m.processing.reset(webrtc::AudioProcessing::Create(config));
    if (!m.processing) throw VoiceCleanerError("Voice cleaning: the library did not start");
    webrtc::AudioProcessing& p = *m.processing;
    webrtc::ProcessingConfig streams;
    for (webrtc::StreamConfig& one : streams.streams) one = m.stream;
    Check(p.Initialize(streams), "Initialize");
    Check(p.high_pass_filter()->Enable(true), "high-pass filter");
    Check(p.noise_suppression()->set_level(webrtc::NoiseSuppression::kVeryHigh),
          "noise suppression level");
    Check(p.noise_suppression()->Enable(true), "noise suppression");
    Check(p.gain_control()->set_mode(webrtc::GainControl::kAdaptiveDigital), "gain mode");
    Check(p.gain_control()->set_target_level_dbfs(kTargetLevelDbfs), "gain target");
    Check(p.gain_control()->set_compression_gain_db(kCompressionGainDb), "gain compression");
    Check(p.gain_control()->enable_limiter(true), "gain limiter");
    Check(p.gain_control()->Enable(true), "gain control");

    if (m.workRate != m.rate) {
        m.toWork = MakeResampler(m.rate, m.workRate, channels);
        m.fromWork = MakeResampler(m.workRate, m.rate, channels);
    }
    // A frame waits to fill; resampled, another frame's worth goes in rounding
    // and the resamplers hold back what they need to look ahead.
    const size_t frame = (m.rate + kFramesPerSecond - 1) / kFramesPerSecond;
    m.latency = frame;
    if (m.fromWork)
        m.latency +=
            frame +
            ResamplerLag(m.toWork.get(), m.rate, m.workRate, channels) * m.rate / m.workRate +
            ResamplerLag(m.fromWork.get(), m.workRate, m.rate, channels) + 1;
    const size_t reserve = (m.rate * kReservedSeconds + m.latency) * channels;
    m.input.reserve(reserve);
    m.pending.samples.reserve(m.workRate * kReservedSeconds * channels);
    m.cleaned.samples.reserve(reserve);
    m.cleaned.samples.assign(m.latency * channels, 0.0f);
    m.planes.resize(m.workFrame * channels);
    m.frameOut.resize(m.workFrame * channels);
    for (int c = 0; c < channels; ++c) m.planePointers.push_back(m.planes.data() + c * m.workFrame);
}

VoiceCleaner::~VoiceCleaner() = default;

void VoiceCleaner::Process(int16_t* samples, size_t frames) {
    Impl& m = *impl_;
    const size_t count = frames * m.channels;
    m.input.resize(count);
    if (m.channels == m.ioChannels) {
        for (size_t i = 0; i < count; ++i) m.input[i] = samples[i] / 32768.0f;
    } else {  // the two channels as one, as the converter mixes them
        for (size_t i = 0; i < frames; ++i)
            m.input[i] = (samples[2 * i] + samples[2 * i + 1]) / 65536.0f;
    }
    m.Feed(m.toWork.get(), double(m.workRate) / m.rate, m.input.data(), frames, m.pending);
    const size_t frameSamples = m.workFrame * m.channels;
    while (m.pending.Size() >= frameSamples) {
        m.CleanFrame(m.pending.Data());
        m.pending.Drop(frameSamples);
    }
    const size_t ready = std::min(frames, m.cleaned.Size() / m.channels);
    const size_t missing = frames - ready;  // made up as silence in front
    m.underruns += missing;
    std::fill(samples, samples + missing * m.ioChannels, int16_t{0});
    const float* out = m.cleaned.Data();
    int16_t* to = samples + missing * m.ioChannels;
    for (size_t i = 0; i < ready * m.channels; ++i) {
        const auto sample =
            static_cast<int16_t>(std::lround(std::clamp(out[i] * 32768.0f, -32768.0f, 32767.0f)));
        for (int c = m.channels; c <= m.ioChannels; c += m.channels) *to++ = sample;
    }
    m.cleaned.Drop(ready * m.channels);
}

int VoiceCleaner::WorkRate() const { return impl_->workRate; }
size_t VoiceCleaner::LatencyFrames() const { return impl_->latency; }
uint64_t VoiceCleaner::Underruns() const { return impl_->underruns; }

}  // namespace murmel
