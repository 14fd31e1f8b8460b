#include "RenderOutput.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace murmel {
namespace {

constexpr size_t kPullFrames = 1024;
constexpr size_t kMixFrames = 1024;

void PutLittle(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

// A stream resampled (linearly: the render is for measuring, not for fine listening)
// from its own rate to the output's, counted in source frames.
class RenderOutput::Stream : public AudioStream {
  public:
    Stream(RenderOutput& owner, StreamFormat format, std::shared_ptr<AudioSource> source)
        : owner_(owner), format_(format), source_(std::move(source)) {}
    ~Stream() override { owner_.Remove(this); }

    int64_t FramesHeard() const override { return std::min(position_, pulled_); }
    bool Drained() const override { return ended_ && position_ >= pulled_; }

    // Adds the next `frames` output frames of this stream to `mix` (stereo). Pulls
    // no further than this block needs, so a change made between two blocks (a
    // volume, a mute) is heard exactly from the next block on.
    void MixInto(float* mix, size_t frames) {
        const size_t channels = static_cast<size_t>(format_.channels);
        const int64_t last =
            (outputFrames_ + static_cast<int64_t>(frames) - 1) * format_.sampleRate / kRate;
        Have(last + 1);
        for (size_t i = 0; i < frames; ++i, ++outputFrames_) {
            const int64_t scaled = outputFrames_ * format_.sampleRate;
            position_ = scaled / kRate;
            if (position_ >= pulled_) return;  // the source has ended
            const float fraction = static_cast<float>(scaled % kRate) / kRate;
            const float* a = Frame(position_);
            const float* b = position_ + 1 < pulled_ ? Frame(position_ + 1) : a;
            const float left = a[0] + (b[0] - a[0]) * fraction;
            const float right = channels > 1 ? a[1] + (b[1] - a[1]) * fraction : left;
            mix[2 * i] += left;
            mix[2 * i + 1] += right;
        }
        position_ = outputFrames_ * format_.sampleRate / kRate;
    }

  private:
    // Pulls until frame `index` is buffered or the source has ended.
    void Have(int64_t index) {
        const size_t channels = static_cast<size_t>(format_.channels);
        // Keep the frame before the current one for interpolation. Once the source
        // has ended the position may lie beyond the last frame pulled.
        const int64_t keepFrom = std::clamp<int64_t>(position_ - 1, base_, pulled_);
        buffer_.erase(buffer_.begin(),
                      buffer_.begin() + static_cast<ptrdiff_t>((keepFrom - base_) * channels));
        base_ = keepFrom;
        while (!ended_ && pulled_ <= index) {
            const size_t wanted =
                static_cast<size_t>(std::min<int64_t>(kPullFrames, index + 1 - pulled_));
            const size_t old = buffer_.size();
            buffer_.resize(old + wanted * channels);
            const size_t got = source_->Pull(buffer_.data() + old, wanted);
            buffer_.resize(old + got * channels);
            pulled_ += static_cast<int64_t>(got);
            if (got < wanted) ended_ = true;
        }
    }
    const float* Frame(int64_t index) const {
        return buffer_.data() + (index - base_) * format_.channels;
    }

    RenderOutput& owner_;
    StreamFormat format_;
    std::shared_ptr<AudioSource> source_;
    std::vector<float> buffer_;  // source frames from base_ on
    int64_t base_ = 0;
    int64_t pulled_ = 0;
    int64_t position_ = 0;  // source frame under the latest output frame
    int64_t outputFrames_ = 0;
    bool ended_ = false;
};

RenderOutput::RenderOutput(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw EAudioOutputError("Unable to create " + path + ": " + std::strerror(errno));
    WriteHeader(0);
}

RenderOutput::RenderOutput(Sink& sink) : sink_(&sink) {}

RenderOutput::~RenderOutput() { Finish(); }

std::unique_ptr<AudioStream> RenderOutput::Play(StreamFormat format,
                                                std::shared_ptr<AudioSource> source) {
    if (format.sampleRate <= 0 || format.channels <= 0)
        throw EAudioOutputError("Unsupported stream format");
    auto stream = std::make_unique<Stream>(*this, format, std::move(source));
    streams_.push_back(stream.get());
    return stream;
}

void RenderOutput::Remove(Stream* stream) {
    streams_.erase(std::remove(streams_.begin(), streams_.end(), stream), streams_.end());
}

void RenderOutput::RenderUntil(int64_t frame) {
    std::vector<int16_t> samples;
    while (rendered_ < frame) {
        const size_t frames = static_cast<size_t>(std::min<int64_t>(kMixFrames, frame - rendered_));
        mix_.assign(frames * 2, 0.0f);
        for (Stream* stream : streams_) stream->MixInto(mix_.data(), frames);
        samples.resize(mix_.size());
        for (size_t i = 0; i < mix_.size(); ++i) {
            const float clipped = std::clamp(mix_[i], -1.0f, 1.0f);
            samples[i] = static_cast<int16_t>(std::lrint(clipped * 32767.0f));
        }
        if (sink_) sink_->Write(samples.data(), frames);
        if (file_ &&
            std::fwrite(samples.data(), sizeof(int16_t), samples.size(), file_) == samples.size())
            dataBytes_ += samples.size() * sizeof(int16_t);
        rendered_ += static_cast<int64_t>(frames);
    }
}

void RenderOutput::WriteHeader(uint32_t dataBytes) {
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                          'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
    PutLittle(header + 4, 36 + dataBytes, 4);
    PutLittle(header + 20, 1, 2);  // PCM
    PutLittle(header + 22, 2, 2);
    PutLittle(header + 24, kRate, 4);
    PutLittle(header + 28, kRate * 4, 4);
    PutLittle(header + 32, 4, 2);
    PutLittle(header + 34, 16, 2);
    std::memcpy(header + 36, "data", 4);
    PutLittle(header + 40, dataBytes, 4);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, file_);
    std::fseek(file_, 0, SEEK_END);
}

void RenderOutput::Finish() {
    if (!file_) return;
    WriteHeader(static_cast<uint32_t>(std::min<uint64_t>(dataBytes_, 0xFFFFFFF0u)));
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace murmel
