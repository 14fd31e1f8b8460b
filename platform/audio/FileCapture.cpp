// A WAV file as the capture device, delivered at real-time pace or as fast as the
// chain takes it, mixed to the channels asked for. A file at the capture's rate is
// read as it is delivered, so a source of hours costs little memory; any other is
// decoded once at Open and resampled with libsoxr.
#include <fcntl.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "PacedCapture.h"
#include "RiffReader.h"

namespace murmel {
namespace {

constexpr size_t kMaxFileBytes = size_t(1) << 30;  // a source file is read whole into memory

uint32_t Read32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct DecodedWave {
    uint32_t rate = 0;
    unsigned channels = 0;
    std::vector<float> samples;  // interleaved
};

float DecodeSample(const uint8_t* p, unsigned tag, unsigned bits) {
    if (tag == 3) {
        float value;
        std::memcpy(&value, p, 4);
        return std::isfinite(value) ? value : 0.0f;
    }
    switch (bits) {
        case 8:
            return (p[0] - 128) / 128.0f;
        case 16:
            return static_cast<int16_t>(Read16(p)) / 32768.0f;
        case 24:
            return static_cast<int32_t>(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 |
                                        uint32_t(p[2]) << 24) /
                   2147483648.0f;
        default:
            return static_cast<int32_t>(Read32(p)) / 2147483648.0f;
    }
}

// Reads a RIFF WAVE file of integer PCM (8/16/24/32 bits) or 32-bit float.
DecodedWave DecodeWaveFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CaptureError("Cannot open " + path);
    in.seekg(0, std::ios::end);
    auto length = static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0));
    if (length > kMaxFileBytes) throw CaptureError("File too large: " + path);
    in.seekg(0);
    std::vector<uint8_t> file(length);
    in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(length));
    RiffWave wave;
    try {
        wave = ReadRiffWave(file.data(), file.size());
    } catch (const ERiffError& error) {
        throw CaptureError(path + ": " + error.what());
    }
    unsigned bits = wave.bitsPerSample, channels = wave.channels;
    bool integer =
        wave.formatTag == RiffWave::kPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    bool floating = wave.formatTag == RiffWave::kFloat && bits == 32;
    if (!(integer || floating) || channels < 1 || channels > 8 || wave.samplesPerSec < 1000 ||
        wave.samplesPerSec > 400000)
        throw CaptureError("Unsupported wave file: " + path);
    const uint8_t* data = file.data() + wave.dataOffset;
    size_t count = wave.dataSize / (channels * bits / 8) * channels;
    DecodedWave decoded{wave.samplesPerSec, channels, std::vector<float>(count)};
    for (size_t i = 0; i < count; ++i)
        decoded.samples[i] = DecodeSample(data + i * bits / 8, wave.formatTag, bits);
    return decoded;
}

// Mono to many channels copies; many to mono averages; else the first channels are kept.
std::vector<float> MixChannels(const DecodedWave& wave, unsigned channels) {
    size_t frames = wave.samples.size() / wave.channels;
    std::vector<float> out(frames * channels);
    for (size_t frame = 0; frame < frames; ++frame) {
        const float* in = &wave.samples[frame * wave.channels];
        float mean = 0;
        for (unsigned c = 0; c < wave.channels; ++c) mean += in[c];
        mean /= static_cast<float>(wave.channels);
        for (unsigned c = 0; c < channels; ++c)
            out[frame * channels + c] = channels == 1        ? mean
                                        : wave.channels == 1 ? in[0]
                                                             : in[std::min(c, wave.channels - 1)];
    }
    return out;
}

std::vector<float> Resample(const std::vector<float>& in, unsigned channels, uint32_t from,
                            uint32_t to) {
    if (from == to || in.empty()) return in;
    size_t inFrames = in.size() / channels;
    size_t outFrames = static_cast<size_t>(double(inFrames) * to / from) + 64;
    std::vector<float> out(outFrames * channels);
    size_t done = 0;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = soxr_oneshot(from, to, channels, in.data(), inFrames, nullptr, out.data(),
                                      outFrames, &done, nullptr, &quality, nullptr);
    if (error) throw CaptureError(std::string("Resampling failed: ") + error);
    out.resize(done * channels);
    return out;
}

// The PCM of a wave file at the capture's rate, read piece by piece.
class StreamedWave {
  public:
    StreamedWave(int fd, const RiffWave& wave)
        : fd_(fd), wave_(wave),
          frameBytes_(size_t(wave.channels) * wave.bitsPerSample / 8) {}
    ~StreamedWave() { close(fd_); }
    StreamedWave(const StreamedWave&) = delete;
    StreamedWave& operator=(const StreamedWave&) = delete;

    // Up to `frames` frames mixed to `channels`; fewer at the end of the data.
    size_t Read(float* out, size_t frames, unsigned channels) {
        const uint64_t left = (wave_.dataSize - consumed_) / frameBytes_;
        frames = static_cast<size_t>(std::min<uint64_t>(frames, left));
        if (bytes_.size() < frames * frameBytes_) bytes_.resize(frames * frameBytes_);
        size_t got = 0;
        while (got < frames * frameBytes_) {
            const ssize_t n = pread(fd_, bytes_.data() + got, frames * frameBytes_ - got,
                                    static_cast<off_t>(wave_.dataOffset + consumed_ + got));
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        frames = got / frameBytes_;
        consumed_ += frames * frameBytes_;
        // Mixed as MixChannels mixes.
        const unsigned have = wave_.channels, sampleBytes = wave_.bitsPerSample / 8u;
        for (size_t frame = 0; frame < frames; ++frame) {
            const uint8_t* in = bytes_.data() + frame * frameBytes_;
            auto sample = [&](unsigned c) {
                return DecodeSample(in + c * sampleBytes, wave_.formatTag, wave_.bitsPerSample);
            };
            float mean = 0;
            if (channels == 1) {
                for (unsigned c = 0; c < have; ++c) mean += sample(c);
                mean /= static_cast<float>(have);
            }
            for (unsigned c = 0; c < channels; ++c)
                out[frame * channels + c] = channels == 1 ? mean
                                            : have == 1   ? sample(0)
                                                          : sample(std::min(c, have - 1));
        }
        return frames;
    }

  private:
    int fd_;
    RiffWave wave_;
    size_t frameBytes_;
    uint64_t consumed_ = 0;
    std::vector<uint8_t> bytes_;
};

// Opens a PCM source for streaming when it is at `rate`; nullptr when it must be
// decoded whole (another rate).
std::unique_ptr<StreamedWave> OpenStreamed(const std::string& path, uint32_t rate) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw CaptureError("Cannot open " + path);
    const off_t size = lseek(fd, 0, SEEK_END);
    RiffWave wave;
    try {
        wave = ReadRiffWave(
            [fd](uint64_t offset, uint8_t* out, size_t count) -> size_t {
                const ssize_t n = pread(fd, out, count, static_cast<off_t>(offset));
                return n > 0 ? static_cast<size_t>(n) : 0;
            },
            size > 0 ? static_cast<uint64_t>(size) : 0);
    } catch (const ERiffError& error) {
        close(fd);
        throw CaptureError(path + ": " + error.what());
    }
    if (wave.formatTag != RiffWave::kPcm && wave.formatTag != RiffWave::kFloat) {
        close(fd);
        throw CaptureError("Unsupported wave file: " + path);
    }
    if (wave.samplesPerSec != rate) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<StreamedWave>(fd, wave);
}

class FileCapture : public PacedCapture {
public:
    FileCapture(std::string path, bool realTime) : PacedCapture(realTime), path_(std::move(path)) {}

    bool Probe() override {
        std::ifstream in(path_, std::ios::binary);
        uint8_t head[12] = {};
        return in.read(reinterpret_cast<char*>(head), sizeof head) && IsRiffWave(head, sizeof head);
    }
    std::string ProductName() const override { return "File " + path_; }

protected:
    void Prepare(const CaptureFormat& format) override {
        samples_.clear();
        next_ = 0;
        streamed_ = OpenStreamed(path_, format.rate);
        if (streamed_) return;
        DecodedWave wave = DecodeWaveFile(path_);
        samples_ =
            Resample(MixChannels(wave, format.channels), format.channels, wave.rate, format.rate);
        next_ = 0;
    }
    size_t Generate(float* samples, size_t frames) override {
        if (streamed_) return streamed_->Read(samples, frames, format().channels);
        size_t channels = format().channels;
        size_t available = (samples_.size() - next_) / channels;
        size_t count = std::min(frames, available);
        std::copy_n(samples_.begin() + long(next_), count * channels, samples);
        next_ += count * channels;
        return count;
    }

private:
    std::string path_;
    std::unique_ptr<StreamedWave> streamed_;
    std::vector<float> samples_;
    size_t next_ = 0;
};

}  // namespace

std::unique_ptr<CaptureDevice> MakeFileCapture(const std::string& path, bool realTime) {
    return std::make_unique<FileCapture>(path, realTime);
}

}  // namespace murmel
