// The PCM converter: sample rate (libsoxr), channel count and sample width.
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "AcmDriver.h"

namespace murmel {
namespace {

// Non-real-time streams (the recorder's high quality) resample at soxr's "high
// quality" (20-bit precision, 91 % pass band); real-time ones at its 16-bit "low".
constexpr unsigned long kHighQuality = SOXR_HQ;
constexpr unsigned long kLowQuality = SOXR_LQ;
constexpr uint32_t kSlackFrames = 64;  // soxr's per-call output may run ahead of the exact ratio

float DecodeSample(const uint8_t* bytes, int bits) {
    if (bits == 8) return (static_cast<int>(bytes[0]) - 128) / 128.0f;
    int16_t value;
    std::memcpy(&value, bytes, 2);
    return value / 32768.0f;
}

uint8_t* EncodeSample(float value, int bits, uint8_t* out) {
    if (bits == 8) {
        *out = static_cast<uint8_t>(std::clamp(std::lrint(value * 128.0f), -128L, 127L) + 128);
        return out + 1;
    }
    auto sample = static_cast<int16_t>(std::clamp(std::lrint(value * 32768.0f), -32768L, 32767L));
    std::memcpy(out, &sample, 2);
    return out + 2;
}

class PcmStream final : public AcmQueuedStream {
  public:
    PcmStream(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, bool highQuality)
        : src_(src), dst_(dst) {
        if (src.nSamplesPerSec == dst.nSamplesPerSec) return;
        soxr_quality_spec_t quality =
            soxr_quality_spec(highQuality ? kHighQuality : kLowQuality, 0);
        soxr_error_t error = nullptr;
        resampler_ = soxr_create(src.nSamplesPerSec, dst.nSamplesPerSec, dst.nChannels, &error,
                                 nullptr, &quality, nullptr);
        if (error) throw std::runtime_error(error);
    }
    ~PcmStream() override {
        if (resampler_) soxr_delete(resampler_);
    }
    PcmStream(const PcmStream&) = delete;
    PcmStream& operator=(const PcmStream&) = delete;

    MMRESULT Size(uint32_t input, uint32_t* output, uint32_t fdwSize) const override {
        const bool fromSource = fdwSize == ACM_STREAMSIZEF_SOURCE;
        const WAVEFORMATEX& from = fromSource ? src_ : dst_;
        const WAVEFORMATEX& to = fromSource ? dst_ : src_;
        uint64_t result;
        if (fromSource) {  // worst case: a kept part-frame completes, the filter runs ahead
            uint64_t frames = input / from.nBlockAlign + 1;
            result = (frames * to.nSamplesPerSec + from.nSamplesPerSec - 1) / from.nSamplesPerSec;
            result = (result + (resampler_ ? kSlackFrames : 0)) * to.nBlockAlign;
        } else {
            result = uint64_t{input} / from.nBlockAlign * to.nSamplesPerSec / from.nSamplesPerSec *
                     to.nBlockAlign;
        }
        if (result == 0) return ACMERR_NOTPOSSIBLE;
        if (result > UINT32_MAX) return MMSYSERR_INVALPARAM;
        *output = static_cast<uint32_t>(result);
        return MMSYSERR_NOERROR;
    }

  protected:
    void Process(const uint8_t* input, size_t size, bool end,
                 std::vector<uint8_t>& output) override {
        partial_.insert(partial_.end(), input, input + size);
        size_t frames = partial_.size() / src_.nBlockAlign;
        DecodeFrames(partial_.data(), frames);
        // A trailing part of a frame waits for the rest of it; at the end it is dropped.
        partial_.erase(partial_.begin(),
                       partial_.begin() + static_cast<std::ptrdiff_t>(frames * src_.nBlockAlign));
        if (end) partial_.clear();
        if (!resampler_) {
            EncodeSamples(samples_.data(), samples_.size(), output);
        } else {
            Resample(samples_.data(), frames, output);
            if (end) Drain(output);
        }
    }

    void Reset() override {
        AcmQueuedStream::Reset();
        partial_.clear();
        if (resampler_) soxr_clear(resampler_);
    }

  private:
    // Input frames to float samples with the destination's channel count.
    void DecodeFrames(const uint8_t* bytes, size_t frames) {
        const int bits = src_.wBitsPerSample, width = bits / 8;
        samples_.resize(frames * dst_.nChannels);
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* frame = bytes + i * src_.nBlockAlign;
            float left = DecodeSample(frame, bits);
            float right = src_.nChannels == 2 ? DecodeSample(frame + width, bits) : left;
            if (dst_.nChannels == 1) {
                samples_[i] = src_.nChannels == 2 ? (left + right) * 0.5f : left;
            } else {
                samples_[2 * i] = left;
                samples_[2 * i + 1] = right;
            }
        }
    }

    void EncodeSamples(const float* samples, size_t count, std::vector<uint8_t>& output) const {
        size_t start = output.size();
        output.resize(start + count * dst_.wBitsPerSample / 8);
        uint8_t* at = output.data() + start;
        for (size_t i = 0; i < count; ++i) at = EncodeSample(samples[i], dst_.wBitsPerSample, at);
    }

    void Resample(const float* samples, size_t frames, std::vector<uint8_t>& output) {
        const double ratio = static_cast<double>(dst_.nSamplesPerSec) / src_.nSamplesPerSec;
        resampled_.resize((static_cast<size_t>(frames * ratio) + kSlackFrames) * dst_.nChannels);
        const size_t capacity = resampled_.size() / dst_.nChannels;
        while (frames > 0) {
            size_t used = 0, made = 0;
            if (soxr_error_t error = soxr_process(resampler_, samples, frames, &used,
                                                  resampled_.data(), capacity, &made))
                throw std::runtime_error(error);
            EncodeSamples(resampled_.data(), made * dst_.nChannels, output);
            samples += used * dst_.nChannels;
            frames -= used;
        }
    }

    // Signals the end of input and takes every sample the filter still holds.
    void Drain(std::vector<uint8_t>& output) {
        const size_t capacity = std::max<size_t>(resampled_.size() / dst_.nChannels, 1024);
        resampled_.resize(capacity * dst_.nChannels);
        for (;;) {
            size_t made = 0;
            if (soxr_error_t error = soxr_process(resampler_, nullptr, 0, nullptr,
                                                  resampled_.data(), capacity, &made))
                throw std::runtime_error(error);
            if (made == 0) break;
            EncodeSamples(resampled_.data(), made * dst_.nChannels, output);
        }
        soxr_clear(resampler_);  // ready for a fresh signal
    }

    WAVEFORMATEX src_, dst_;
    soxr_t resampler_ = nullptr;
    std::vector<uint8_t> partial_;
    std::vector<float> samples_, resampled_;
};

class PcmDriver final : public AcmDriver {
  public:
    Kind DriverKind() const override { return Kind::Converter; }
    uint32_t MaxFormatSize() const override { return sizeof(WAVEFORMATEX); }

    bool CanOpen(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, uint32_t) const override {
        return IsValidConverterPcm(src) && IsValidConverterPcm(dst);
    }

    MMRESULT Suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst, uint32_t,
                     uint32_t flags) const override {
        if (!IsValidConverterPcm(src)) return ACMERR_NOTPOSSIBLE;
        if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && dst->wFormatTag != kAcmTagPcm)
            return ACMERR_NOTPOSSIBLE;
        WAVEFORMATEX result{};
        result.wFormatTag = kAcmTagPcm;
        result.nChannels = (flags & ACM_FORMATSUGGESTF_NCHANNELS) ? dst->nChannels : src.nChannels;
        result.nSamplesPerSec =
            (flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) ? dst->nSamplesPerSec : src.nSamplesPerSec;
        result.wBitsPerSample =
            (flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) ? dst->wBitsPerSample : src.wBitsPerSample;
        result.nBlockAlign = static_cast<uint16_t>(result.nChannels * result.wBitsPerSample / 8);
        result.nAvgBytesPerSec = result.nBlockAlign * result.nSamplesPerSec;
        if (!IsValidConverterPcm(result)) return ACMERR_NOTPOSSIBLE;
        *dst = result;
        return MMSYSERR_NOERROR;
    }

    std::unique_ptr<AcmDriverStream> Open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst,
                                          uint32_t flags) override {
        return std::make_unique<PcmStream>(src, dst, (flags & ACM_STREAMOPENF_NONREALTIME) != 0);
    }
};

}  // namespace

std::shared_ptr<AcmDriver> MakeAcmPcmDriver() { return std::make_shared<PcmDriver>(); }

}  // namespace murmel
