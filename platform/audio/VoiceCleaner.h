#pragma once
// Noise suppression and automatic gain for a voice (WebRTC audio processing).
// The library works on 10 ms frames at 8, 16, 32 or 48 kHz; other rates are
// resampled to the next of those and back, so any capture rate can be cleaned.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace murmel {

class VoiceCleanerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class VoiceCleaner {
  public:
    // Interleaved 16-bit sound of `channels` (1 or 2) at `sampleRate` (4000..100000 Hz).
    VoiceCleaner(int sampleRate, int channels);
    ~VoiceCleaner();
    VoiceCleaner(const VoiceCleaner&) = delete;
    VoiceCleaner& operator=(const VoiceCleaner&) = delete;

    // Cleans `frames` frames in place. The sound comes out later by LatencyFrames()
    // (silence first); no allocation once the buffers have reached `frames`.
    void Process(int16_t* samples, size_t frames);

    // The rate the library runs at: the capture rate, or the one it is resampled to.
    int WorkRate() const;
    size_t LatencyFrames() const;
    // Frames that had to be made up as silence because the cleaned sound lagged
    // further than LatencyFrames(); 0 in a sound setup.
    uint64_t Underruns() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace murmel
