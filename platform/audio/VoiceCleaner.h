#pragma once
// Noise suppression and automatic gain for a voice (WebRTC audio processing).
// The library works on 10 ms frames at 8, 16, 32 or 48 kHz; other rates are
// resampled to the next of those and back, so any capture rate can be cleaned.
// It costs less at a lower rate and on one channel, so the cleaner works only on
// the band and the channels the recording keeps.
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
    // Interleaved 16-bit sound of `ioChannels` (1 or 2) at `sampleRate` (4000..100000 Hz).
    // `keptRate`: the rate the recording is stored at, 0 for the capture rate; the
    // cleaner works at the next rate the library takes. `keptChannels` 1: the
    // recording keeps one channel, so the two are cleaned as one (their mean) and
    // the result goes to both.
    VoiceCleaner(int sampleRate, int ioChannels, int keptRate = 0, int keptChannels = 0);
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
