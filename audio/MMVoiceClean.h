#pragma once
// The voice-cleaning stage right after the wave input: noise suppression and
// automatic gain on 16-bit PCM, worked on the buffers in place. Off, or on any
// other format, the bytes pass unchanged, so the chain records as without it.
#include <memory>
#include <string>

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
    void BufferReady(PWaveHdr lpWaveHdr) override;

  private:
    std::unique_ptr<VoiceCleaner> cleaner_;
};

}  // namespace murmel
