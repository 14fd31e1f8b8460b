#pragma once
// Whether the microphone is heard: an input that stays near silence for the first
// seconds of a recording (unplugged, muted, the wrong device) and an input driven
// to full scale (clipping). Fed with the level the wave input measured and the
// recording's own time, so tests drive it with made-up times.
#include <cstdint>

namespace murmel {

enum class InputWarning { None, Silent, Clipping };

class InputLevelWatch {
  public:
    // -60 dBFS: below it a live microphone is hardly ever, even in a quiet room.
    static constexpr int kSilentPeak = 33;  // 32768 * 10^(-60/20)
    static constexpr int64_t kSilentForMs = 3000;
    // More samples than this at full scale in a row are clipped sound, not a peak.
    static constexpr int kClippedRun = 4;
    // A clip stays shown this long, so that a short one can be seen at all.
    static constexpr int64_t kClipShownMs = 2000;

    // A recording starts at `nowMs`.
    void Start(int64_t nowMs);
    // What was measured up to `nowMs`; true when Warning() has changed.
    bool Update(int64_t nowMs, int peak, int fullScaleRun);
    InputWarning Warning() const { return warning_; }

  private:
    int64_t startMs_ = 0;
    int64_t lastClipMs_ = 0;
    bool heard_ = false;
    bool clipped_ = false;
    InputWarning warning_ = InputWarning::None;
};

}  // namespace murmel
