#pragma once
// The echo and reverberation stage between the connector and the converter. It
// insists on valid PCM, keeps a delay state while the chain is open and works on
// the buffers in place; with no active echo the bytes pass unchanged.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MMDSPObj.h"

namespace murmel {

class EMMReverbError : public EMMError {
  public:
    using EMMError::EMMError;
};

// The framework's stream errors raised while reading a settings block.
class EFilerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
class EClassNotFound : public EFilerError {
  public:
    using EFilerError::EFilerError;
};

// One echo: delay in milliseconds and gain in percent; active when the gain is not 0.
struct TMMEcho {
    int32_t Delay = 0;
    int32_t Gain = 0;
    bool operator==(const TMMEcho&) const = default;
};

constexpr size_t kMaxEchos = 8;

// Everything the settings block carries.
struct TMMReverbSettings {
    uint8_t ListFlag = 1;  // kept and written back unchanged
    std::string Description = "Untitled";
    int32_t MaxDelay = 250;
    int16_t InputGain = 80;
    int16_t InputPan = 0;
    int16_t OutputGain = 100;
    uint8_t FeedBack = 0;
    std::vector<TMMEcho> Echos = std::vector<TMMEcho>(kMaxEchos);
    bool Filter = false;  // a property of its own, not part of the block
    bool operator==(const TMMReverbSettings&) const = default;
};

// The settings block: "RVB\0", flag byte, description, five 32-bit values, a 16-bit
// echo count and per echo "TMMEcho" (length-prefixed), delay, gain. Reading keeps
// at most 8 echoes; "Invalid Object stream" for a wrong signature or a short
// block, "Class <NAME> not registered" for an echo of another class.
TMMReverbSettings ReadReverbSettings(const uint8_t* data, size_t size);
std::vector<uint8_t> WriteReverbSettings(const TMMReverbSettings& settings);

class TMMReverb : public TMMDSPComponent {
  public:
    explicit TMMReverb(std::string name = "Reverb");
    ~TMMReverb() override;

    bool Enabled = true;
    // Fired on the capture thread when mixing had to clip.
    TMMNotifyEvent OnPcmOverflow;
    TMMNotifyEvent OnChange;

    const TMMReverbSettings& Settings() const { return settings_; }
    // Takes new settings; while the delay state exists it is set up again at once.
    void SetSettings(const TMMReverbSettings& settings);
    // The window design's "Echos" block. Bad input leaves the settings as they were.
    void ReadEchos(const uint8_t* data, size_t size);
    std::vector<uint8_t> WriteEchos() const { return WriteReverbSettings(settings_); }

    bool HasDelayState() const { return state_ != nullptr; }
    // Samples per delay line while the state exists (0 otherwise).
    size_t DelayLineLength() const;
    int ActiveEchoCount() const;

    // Accepts none; anything else must be valid PCM ("Invalid WaveFormat").
    void SetPWaveFormat(const TWaveFormatEx* format) override;
    void Opened() override;
    void Started() override;
    void Closed() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;

  private:
    struct DelayState;
    void AllocateState();
    void SetupEchos();
    bool Process(uint8_t* data, size_t size);

    TMMReverbSettings settings_;
    std::unique_ptr<DelayState> state_;
};

}  // namespace murmel
