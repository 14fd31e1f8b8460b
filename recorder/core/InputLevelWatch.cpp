#include "InputLevelWatch.h"

namespace murmel {

void InputLevelWatch::Start(int64_t nowMs) {
    startMs_ = nowMs;
    heard_ = clipped_ = false;
    warning_ = InputWarning::None;
}

bool InputLevelWatch::Update(int64_t nowMs, int peak, int fullScaleRun) {
    if (peak >= kSilentPeak) heard_ = true;
    if (fullScaleRun > kClippedRun) {
        clipped_ = true;
        lastClipMs_ = nowMs;
    } else if (clipped_ && nowMs - lastClipMs_ >= kClipShownMs) {
        clipped_ = false;
    }
    // Only the start is watched for silence: later pauses are the speaker's.
    InputWarning warning = InputWarning::None;
    if (clipped_)
        warning = InputWarning::Clipping;
    else if (!heard_ && nowMs - startMs_ >= kSilentForMs)
        warning = InputWarning::Silent;
    if (warning == warning_) return false;
    warning_ = warning;
    return true;
}

}  // namespace murmel
