// The recording session's pause: the wave input holds still (the device delivers
// nothing, so nothing is kept for later), the music holds its place, and the time
// the input's clock may run on meanwhile is left out of the recording's time.
#include "MMUtils.h"
#include "RecordingSession.h"

namespace murmel {

void RecordingSession::bitbtnPauseClick() {
    if (paused_)
        ResumeRecording();
    else
        PauseRecording();
}

int64_t RecordingSession::RecordedMs() {
    if (!recording_) return 0;
    const int64_t position = paused_ ? pausedAtMs_ : chain_.WaveIn_Mic.Position();
    return position - startPositionMs_ - pausedMs_;
}

void RecordingSession::PauseRecording() {
    if (!recording_ || paused_) return;
    // A tune that has played to its end stays ended: Play would start it again.
    musicOnResume_ = music_.Playing() && !music_.TuneEnded();
    chain_.WaveIn_Mic.Pause();  // what the device had captured is in the track by now
    music_.Stop();
    pausedAtMs_ = chain_.WaveIn_Mic.Position();
    paused_ = true;
    display_.paused = true;
    display_.timerEnabled = false;
    display_.recTimeText = FormatTimeText(RecordedMs(), true);
    Changed();
    // Nothing is heard while paused, and that is no fault of the microphone.
    if (inputWatch_.Warning() != InputWarning::None) {
        inputWatch_.Start(RecordedMs());
        listener_.InputWarningChanged(InputWarning::None);
    }
}

void RecordingSession::ResumeRecording() {
    if (!recording_ || !paused_) return;
    chain_.WaveIn_Mic.Restart();
    pausedMs_ += chain_.WaveIn_Mic.StartPosition() - pausedAtMs_;
    paused_ = false;
    display_.paused = false;
    display_.timerEnabled = true;
    Changed();
    // The microphone is watched anew, as at the start: it may have been unplugged
    // or muted during the pause.
    chain_.WaveIn_Mic.TakeInputLevel();
    inputWatch_.Start(RecordedMs());
    if (musicOnResume_) music_.Play();  // from where it was held
}

}  // namespace murmel
