#pragma once
// Test helpers for the ACM layer and the converter: PCM signals, an MP3 decoder
// (libmpg123), a Goertzel power meter, and chain elements that feed and collect.
#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "MMDSPObj.h"

namespace murmel::test {

// Interleaved 16-bit PCM of a sine tone.
inline std::vector<uint8_t> SinePcm(double hz, double seconds, uint32_t rate, int channels,
                                    double amplitude = 0.5) {
    auto frames = static_cast<size_t>(std::llround(seconds * rate));
    std::vector<uint8_t> bytes(frames * channels * 2);
    for (size_t i = 0; i < frames; ++i) {
        auto value = static_cast<int16_t>(
            std::lrint(amplitude * 32767 * std::sin(2 * M_PI * hz * double(i) / rate)));
        for (int c = 0; c < channels; ++c) std::memcpy(&bytes[(i * channels + c) * 2], &value, 2);
    }
    return bytes;
}

struct DecodedAudio {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
    size_t Frames() const { return channels ? samples.size() / size_t(channels) : 0; }
    double Seconds() const { return rate ? double(Frames()) / double(rate) : 0; }
    // The first channel only.
    std::vector<double> Mono() const {
        std::vector<double> out(Frames());
        for (size_t i = 0; i < out.size(); ++i) out[i] = samples[i * size_t(channels)] / 32768.0;
        return out;
    }
};

// Decodes a run of MPEG audio frames, as any player of the file would.
inline DecodedAudio DecodeMp3(const std::vector<uint8_t>& bytes) {
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle) throw std::runtime_error("mpg123_new failed");
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(handle);
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    DecodedAudio audio;
    mpg123_open_feed(handle);
    if (!bytes.empty()) mpg123_feed(handle, bytes.data(), bytes.size());
    std::vector<unsigned char> block(65536);
    for (;;) {
        size_t done = 0;
        int result = mpg123_read(handle, block.data(), block.size(), &done);
        if (result == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(handle, &audio.rate, &audio.channels, &encoding);
        }
        size_t start = audio.samples.size();
        audio.samples.resize(start + done / 2);
        if (done) std::memcpy(audio.samples.data() + start, block.data(), done / 2 * 2);
        if (result == MPG123_NEED_MORE || result == MPG123_DONE) break;
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            mpg123_delete(handle);
            throw std::runtime_error("undecodable MPEG audio");
        }
    }
    mpg123_delete(handle);
    return audio;
}

// Relative power of one frequency in a signal (Goertzel filter).
inline double TonePower(const std::vector<double>& signal, double hz, double rate) {
    double coefficient = 2 * std::cos(2 * M_PI * hz / rate), previous = 0, beforePrevious = 0;
    for (double sample : signal) {
        double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return (previous * previous + beforePrevious * beforePrevious -
            coefficient * previous * beforePrevious) /
           double(signal.size());
}

inline size_t ZeroCrossings(const std::vector<double>& signal) {
    size_t count = 0;
    for (size_t i = 1; i < signal.size(); ++i)
        if ((signal[i - 1] < 0) != (signal[i] < 0)) ++count;
    return count;
}

// Collects what reaches it while started, like the file writer does, and notes
// how much it had when it was told to stop.
class CollectingSink : public TMMDSPComponent {
  public:
    CollectingSink() : TMMDSPComponent("Sink") {}
    void BufferReady(PWaveHdr header) override {
        if (!IsStarted()) return;
        pieces.push_back(header->dwBytesRecorded);
        bytes.insert(bytes.end(), header->lpData, header->lpData + header->dwBytesRecorded);
    }
    void Stopped() override {
        if (IsStarted()) bytesAtStop = bytes.size();
        TMMDSPComponent::Stopped();
    }
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> pieces;
    size_t bytesAtStop = 0;
};

}  // namespace murmel::test
