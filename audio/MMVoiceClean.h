#pragma once
// The voice-cleaning stage right after the wave input: noise suppression and
// automatic gain on 16-bit PCM, worked on the buffers in place. Off, or on any
// other format, the bytes pass unchanged, so the chain records as without it.
// The cleaner's delay is taken out: its lead-in of silence is left out and the
// sound it still holds goes down the chain at the stop, so the recording keeps
// its length, its end and its timing against the music.
#include <memory>
#include <string>
#include <vector>

#include "MMDSPObj.h"

namespace murmel {

class VoiceCleaner;

class EMMVoiceCleanError : public EMMError {
  public:
    using EMMError::EMMError;
};

class TMMVoiceClean : public TMMDSPComponent {
  public:
    explicit TMMVoiceClean(std::string name = "VoiceClean");
    ~TMMVoiceClean() override;

    // Takes effect at the next opening of the chain.
    bool Enabled = false;

    // True while the chain is open with the cleaner running.
    bool Cleaning() const { return cleaner_ != nullptr; }

    void Opened() override;
    void Closed() override;
    void Stopped() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;

  private:
    size_t FrameBytes() const;
    void HandOnTail();

    std::unique_ptr<VoiceCleaner> cleaner_;
    size_t leadInLeft_ = 0;   // frames of the cleaner's lead-in still to leave out
    std::vector<char> tail_;  // room for the sound the cleaner holds, made when opened
    TWaveHdr tailHeader_{};
};

}  // namespace murmel
