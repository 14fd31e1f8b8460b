// The recording session's microphone: the source chosen in the settings or on
// the command line, whether its sound is cleaned, what happens when it is gone,
// and whether it is heard.
#include "GbkText.h"
#include "RecordingSession.h"
#include "SettingsStore.h"

namespace murmel {

bool RecordingSession::ChooseMicrophone() {
    chain_.VoiceClean.Enabled =
        CleanOverride ||
        SettingsStore(programFolder_).ReadText("SoundSetup", "CleanVoice", "NO") == "YES";
    std::string source = MicrophoneOverride;
    if (source.empty() && !CaptureChosenByEnvironment())
        source = GbkToUtf8(SettingsStore(programFolder_).ReadText("SoundSetup", "Microphone", ""));
    if (source.empty()) {
        if (!microphone_.empty()) chain_.WaveIn_Mic.SetDevice(CaptureDeviceFromEnvironment());
        microphone_.clear();
        return true;
    }
    // Never from elsewhere without a word: a missing source is asked about.
    std::unique_ptr<CaptureDevice> device = MakePulseCapture(source);
    if (!device->Probe()) {
        if (!listener_.RecordFromDefaultMicrophone(source)) return false;
        source.clear();
        device = CaptureDeviceFromEnvironment();
    }
    chain_.WaveIn_Mic.SetDevice(std::move(device));
    microphone_ = source.empty() ? "\n" : source;  // "\n": the default put in for a missing one
    return true;
}

void RecordingSession::WatchInputLevel() {
    const TMMInputLevel level = chain_.WaveIn_Mic.TakeInputLevel();
    if (inputWatch_.Update(RecordedMs(), level.peak, level.fullScaleRun))
        listener_.InputWarningChanged(inputWatch_.Warning());
}

}  // namespace murmel
