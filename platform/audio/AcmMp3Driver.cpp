// The MPEG Layer-3 encoder over LAME. Like the platform's codec it takes only
// 16-bit PCM at its target's own rate and channel count, so other inputs go
// through a PCM stage first; the bit rate is constant, nAvgBytesPerSec × 8.
#include <lame/lame.h>

#include <cstring>
#include <stdexcept>

#include "AcmDriver.h"
#include "Layer3Formats.h"

namespace murmel {
namespace {

constexpr uint32_t kMp3FormatSize = 30;  // MPEGLAYER3WAVEFORMAT: the header and 12 extra bytes
constexpr uint32_t kFlushReserve =
    7200;  // LAME's bound for what one call may add to 1.25 × samples

bool IsValidMp3(const WAVEFORMATEX& format) {
    if (format.wFormatTag != kAcmTagMpegLayer3 || (format.nChannels != 1 && format.nChannels != 2))
        return false;
    uint64_t bits = uint64_t{format.nAvgBytesPerSec} * 8;
    if (bits % 1000 != 0) return false;
    return IsLayer3RateAndBitRate(format.nSamplesPerSec, bits / 1000);
}

uint64_t WorstCaseBytes(uint64_t samplesPerChannel) {
    return (samplesPerChannel * 5 + 3) / 4 + kFlushReserve;
}

class Mp3Stream final : public AcmQueuedStream {
  public:
    Mp3Stream(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, bool highQuality)
        : src_(src), dst_(dst), quality_(highQuality ? 2 : 5) {
        StartEncoder();
    }
    ~Mp3Stream() override { lame_close(encoder_); }
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    MMRESULT Size(uint32_t input, uint32_t* output, uint32_t fdwSize) const override {
        uint64_t result;
        if (fdwSize == ACM_STREAMSIZEF_SOURCE) {
            result = WorstCaseBytes(input / src_.nBlockAlign + 1);
        } else {
            if (input <= kFlushReserve) return ACMERR_NOTPOSSIBLE;
            result = uint64_t{input - kFlushReserve} * 4 / 5 * src_.nBlockAlign;
        }
        if (result == 0) return ACMERR_NOTPOSSIBLE;
        if (result > UINT32_MAX) return MMSYSERR_INVALPARAM;
        *output = static_cast<uint32_t>(result);
        return MMSYSERR_NOERROR;
    }

  protected:
    void Process(const uint8_t* input, size_t size, bool end,
                 std::vector<uint8_t>& output) override {
        if (ended_ && size > 0) {  // a new signal after a drained one
            lame_close(encoder_);
            encoder_ = nullptr;
            StartEncoder();
        }
        partial_.insert(partial_.end(), input, input + size);
        size_t frames = partial_.size() / src_.nBlockAlign;
        samples_.resize(frames * src_.nChannels);
        if (frames > 0) std::memcpy(samples_.data(), partial_.data(), frames * src_.nBlockAlign);
        partial_.erase(partial_.begin(),
                       partial_.begin() + static_cast<std::ptrdiff_t>(frames * src_.nBlockAlign));
        if (frames > 0) Encode(frames, output);
        if (end && !ended_) {
            partial_.clear();
            Flush(output);
        }
    }

    void Reset() override {
        AcmQueuedStream::Reset();
        partial_.clear();
    }

  private:
    void StartEncoder() {
        encoder_ = lame_init();
        if (!encoder_) throw std::bad_alloc();
        lame_set_in_samplerate(encoder_, static_cast<int>(dst_.nSamplesPerSec));
        lame_set_out_samplerate(encoder_, static_cast<int>(dst_.nSamplesPerSec));  // never resample
        lame_set_num_channels(encoder_, dst_.nChannels);
        lame_set_mode(encoder_, dst_.nChannels == 1 ? MONO : JOINT_STEREO);
        lame_set_VBR(encoder_, vbr_off);
        lame_set_brate(encoder_, static_cast<int>(dst_.nAvgBytesPerSec * 8 / 1000));
        lame_set_quality(encoder_, quality_);
        lame_set_bWriteVbrTag(encoder_, 0);  // the frames go into a RIFF file, not an MP3 file
        lame_set_write_id3tag_automatic(encoder_, 0);
        if (lame_init_params(encoder_) < 0) {
            lame_close(encoder_);
            encoder_ = nullptr;
            throw std::runtime_error("LAME refused the format");
        }
        ended_ = false;
    }

    void Encode(size_t frames, std::vector<uint8_t>& output) {
        size_t start = output.size();
        output.resize(start + WorstCaseBytes(frames));
        auto capacity = static_cast<int>(output.size() - start);
        int made =
            src_.nChannels == 2
                ? lame_encode_buffer_interleaved(encoder_, samples_.data(),
                                                 static_cast<int>(frames), output.data() + start,
                                                 capacity)
                : lame_encode_buffer(encoder_, samples_.data(), samples_.data(),
                                     static_cast<int>(frames), output.data() + start, capacity);
        if (made < 0) throw std::runtime_error("LAME failed to encode");
        output.resize(start + static_cast<size_t>(made));
    }

    void Flush(std::vector<uint8_t>& output) {
        size_t start = output.size();
        output.resize(start + kFlushReserve);
        int made =
            lame_encode_flush(encoder_, output.data() + start, static_cast<int>(kFlushReserve));
        if (made < 0) throw std::runtime_error("LAME failed to flush");
        output.resize(start + static_cast<size_t>(made));
        ended_ = true;
    }

    WAVEFORMATEX src_, dst_;
    int quality_;
    lame_global_flags* encoder_ = nullptr;
    bool ended_ = false;
    std::vector<uint8_t> partial_;
    std::vector<short> samples_;
};

class Mp3Driver final : public AcmDriver {
  public:
    Kind DriverKind() const override { return Kind::Codec; }
    uint32_t MaxFormatSize() const override { return kMp3FormatSize; }

    bool CanOpen(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, uint32_t) const override {
        return IsValidConverterPcm(src) && src.wBitsPerSample == 16 && IsValidMp3(dst) &&
               src.nChannels == dst.nChannels && src.nSamplesPerSec == dst.nSamplesPerSec;
    }

    // Only the PCM converter suggests formats.
    MMRESULT Suggest(const WAVEFORMATEX&, WAVEFORMATEX*, uint32_t, uint32_t) const override {
        return ACMERR_NOTPOSSIBLE;
    }

    std::unique_ptr<AcmDriverStream> Open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst,
                                          uint32_t flags) override {
        return std::make_unique<Mp3Stream>(src, dst, (flags & ACM_STREAMOPENF_NONREALTIME) != 0);
    }
};

}  // namespace

std::shared_ptr<AcmDriver> MakeAcmMp3Driver() { return std::make_shared<Mp3Driver>(); }

}  // namespace murmel
