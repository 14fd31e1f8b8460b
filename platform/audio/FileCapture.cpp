// A WAV file as the capture device: decoded once at Open, mixed to the channels
// asked for and resampled with libsoxr, then delivered at real-time pace or as
// fast as the chain takes it.
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

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
        DecodedWave wave = DecodeWaveFile(path_);
        samples_ =
            Resample(MixChannels(wave, format.channels), format.channels, wave.rate, format.rate);
        next_ = 0;
    }
    size_t Generate(float* samples, size_t frames) override {
        size_t channels = format().channels;
        size_t available = (samples_.size() - next_) / channels;
        size_t count = std::min(frames, available);
        std::copy_n(samples_.begin() + long(next_), count * channels, samples);
        next_ += count * channels;
        return count;
    }

private:
    std::string path_;
    std::vector<float> samples_;
    size_t next_ = 0;
};

}  // namespace

std::unique_ptr<CaptureDevice> MakeFileCapture(const std::string& path, bool realTime) {
    return std::make_unique<FileCapture>(path, realTime);
}

}  // namespace murmel
