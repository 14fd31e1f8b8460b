#pragma once
#include <cstdint>
#include <string>

#include "InputLevelWatch.h"

namespace murmel {

// What the recorder window shows of a recording, as the core last set it. UTF-8.
struct RecorderDisplay {
    std::string recCaption = "录音";        // bitbtnRec
    bool musicCheckEnabled = true;          // cbRecWithMusic
    bool musicChoiceEnabled = true;         // BitBtn1: not while a recording with music runs
    std::string recTimeText = "00:00.000";  // lbRecTime
    std::string volumeText = "85%";         // lbVolume
    bool timerEnabled = false;              // tmRec: the window ticks only while this holds
    bool pauseEnabled = false;              // bitbtnPause: only while recording
    bool paused = false;                    // a recording holds still; bitbtnPause resumes it
};

// The two save dialogs of a finished recording.
enum class SaveDialogKind {
    sdMp3,  // "Mp3 File (*.mp3)|*.mp3", a plain recording
    sdMVM,  // "Music Voice Mail (*.mvm)|*.mvm", a voice mail
};

// How the recorder core talks to whoever shows it (the window, murmel-cli, a
// test). Every dialog the core needs is a question here. Called on the thread that
// drives the core.
class RecorderListener {
  public:
    virtual ~RecorderListener() = default;
    // After every operation that may have changed the display.
    virtual void DisplayChanged(const RecorderDisplay&) {}
    // odBGMusic, opened in `folder`: a MIDI file's path, or empty when cancelled.
    virtual std::string ChooseMusic(const std::string& /*folder*/) { return ""; }
    // sdMp3 / sdMVM, opened on `fileName`: the chosen path exactly as typed (no
    // extension added; the core asks about replacing), or empty when cancelled.
    virtual std::string ChooseSaveName(SaveDialogKind, const std::string& /*fileName*/) {
        return "";
    }
    // `path` exists and a save would replace it: true to replace. On false the
    // save question is asked again, on that name.
    virtual bool ConfirmReplace(const std::string& /*path*/) { return false; }
    // The status bar's text (StatusBar1).
    virtual void StatusText(const std::string&) {}
    // A failure the window's standard error display shows (a message box), for
    // failures that do not leave the core as an exception (a recording that the
    // capture device ended on its own and whose saving failed).
    virtual void ShowError(const std::string&) {}
    // The microphone chosen in the settings (or on the command line), the sound
    // server's source `source`, is not there: true records from the default input
    // this time, false records nothing.
    virtual bool RecordFromDefaultMicrophone(const std::string& /*source*/) { return false; }
    // The input has fallen silent at the start, clips, or is fine again.
    virtual void InputWarningChanged(InputWarning) {}
    // A schedule entry has been written while recording with music.
    virtual void ScheduleLogged(int32_t /*index*/, int64_t /*timeMs*/, int32_t /*volume*/) {}
};

}  // namespace murmel
