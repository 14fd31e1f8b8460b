#pragma once
#include <cstdint>
#include <string>

namespace murmel {

// What the player window shows, as the core last set it. Texts are UTF-8.
struct PlayerDisplay {
    std::string playCaption;  // BitBtn2
    std::string timeText;     // Label1
    int64_t progress = 0;     // ProgressBar1, in milliseconds of the voice track
    int64_t progressMaximum = 0;
    bool progressTimerEnabled = false;  // TmProgress: the window ticks only while this holds
    bool musicAvailable = true;         // cbMusic: false for a plain recording, which has no tune
};

// How the player core talks to whoever shows it (the window, the CLI, a test).
// Called on the thread that drives the core.
class PlayerListener {
  public:
    virtual ~PlayerListener() = default;
    // After every operation that may have changed the display.
    virtual void DisplayChanged(const PlayerDisplay&) {}
    // The open dialog: a voice mail's path, or empty when the user cancels.
    virtual std::string ChooseVoiceMail() { return ""; }
    // A schedule entry has just set the music volume.
    virtual void ScheduleApplied(int32_t /*index*/, int64_t /*positionMs*/, int32_t /*volume*/) {}
    // The voice track has ended and its temporary files are gone.
    virtual void PlaybackEnded() {}
    // A voice mail could not be opened (missing, unreadable, damaged); whatever was
    // playing goes on. REASON is the system's text.
    virtual void OpenFailed(const std::string& /*fileName*/, const std::string& /*reason*/) {}
    // The sound system failed during playback (the server stopped or hangs): playback
    // has stopped and its temporary files are gone. `reason` is a line for the user.
    virtual void PlaybackFailed(const std::string& /*reason*/) {}
};

}  // namespace murmel
