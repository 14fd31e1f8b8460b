#pragma once
// A recording of the recorder: the record button, the start and stop of the wave
// input, the 50 ms elapsed-time tick, the music-volume slider with its schedule,
// the choice of the tune, the quality preset, and the saving of the result into
// "MyVoice" or a chosen name. The core owns no timer and no dialog: the window
// calls tmRecTimer every 50 ms while Display().timerEnabled holds, and answers
// the listener's questions.
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "AttachmentList.h"
#include "InputLevelWatch.h"
#include "PkStreamCol.h"
#include "RecorderListener.h"
#include "RecordingChain.h"
#include "RecordingJournal.h"
#include "UIThreadPost.h"
#include "WMediaPlayer.h"

namespace murmel {

class RecordingSession {
  public:
    static constexpr const char* kCaptionRecord = "录音";
    static constexpr const char* kCaptionStop = "停止";
    static constexpr const char* kMusicStatusPrefix = "背景音乐";
    static constexpr int kInitialSliderPosition = 85;
    // The voice track and the schedule of a recording: TempBaseName + these.
    static constexpr const char* kVoiceTrackExtension = ".mp3";
    static constexpr const char* kScheduleExtension = ".Ctr";

    // Everything given must outlive the session. `ui` is where the chain's
    // capture thread posts; `chain` is the recorder's capture chain.
    RecordingSession(std::string programFolder, RecordingChain& chain, TWMediaPlayer& music,
                     AttachmentList& attachments, RecorderListener& listener, UIThreadPost& ui);
    ~RecordingSession();
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // --- what the window forwards ---
    void bitbtnRecClick();
    // What the two send buttons do first: a running recording is stopped and saved.
    void StopAndSaveIfRecording();
    void StartRecording();
    // Stops the input and saves the result (automatically named or by dialog).
    void StopRecording();
    // Pause and resume while recording: while paused nothing reaches the voice
    // track, the elapsed time stands and the music holds where it is; resuming goes
    // on in the same track, so the result is one ordinary recording whose schedule
    // counts voice-track time. Stop while paused ends the recording as usual.
    void bitbtnPauseClick();
    void PauseRecording();
    void ResumeRecording();
    void tmRecTimer();
    void BGVolumeChange(int position);
    void BitBtn1Click();
    void odBGMusicSelectionChange(const std::string& path);
    void cbRecWithMusicClick(bool checked) { recWithMusic_ = checked; }
    // The window is closing: a running recording ends with its voice track
    // finalised; nothing is saved, and its journal stays, so the recording is
    // offered again at the next start.
    void FormClose();

    // --- the wave input's events and the steps they run ---
    void WaveIn_MicStart();
    void WaveIn_MicStop();
    void ApplyQualityPreset();
    // Packs the current recording's voice track, tune and schedule into TARGET.
    void PackVoiceMail(const std::string& target);

    // --- state ---
    bool Recording() const { return recording_; }
    bool Paused() const { return paused_; }
    // Milliseconds of the voice track so far: the input's time since the start,
    // the pauses left out. The elapsed time and the schedule count in it.
    int64_t RecordedMs();
    // The voice track's length when the last recording stopped: the sound that
    // arrived during the stop is in it.
    int64_t StoppedAtMs() const { return stoppedAtMs_; }
    bool RecWithMusic() const { return recWithMusic_; }
    int64_t StartPositionMs() const { return startPositionMs_; }
    int32_t ScheduleIndex() const { return scheduleIndex_; }
    const std::string& TempBaseName() const { return tempBaseName_; }
    const std::string& SchedulePath() const { return schedulePath_; }
    std::string VoiceTrackPath() const { return tempBaseName_ + kVoiceTrackExtension; }
    int SliderPosition() const { return sliderPosition_; }
    const RecorderDisplay& Display() const { return display_; }
    // The name last saved through sdMp3 or sdMVM, or by an automatic save of that
    // kind: the next save question opens in its folder.
    const std::string& SaveDialogFileName(SaveDialogKind kind) const;
    const std::string& ProgramFolder() const { return programFolder_; }
    std::string MusicFolder() const { return programFolder_ + "BGMusic/"; }

    // The local time automatic names are made from; tests replace it.
    std::function<std::tm()> Now;

    // murmel-cli's choices. The quality: "1K", "2K", "4K", "8K" or "none" (no
    // conversion); empty takes the settings' "SoundSetup"/"Resolution".
    std::string ResolutionOverride;
    // The naming: as the settings say, always automatic, or always by the save
    // question (which murmel-cli answers with its OUT).
    enum class Naming { Settings, Automatic, Question };
    Naming NamingMode = Naming::Settings;
    // The journal kept beside each recording while it runs names its program,
    // and where a recording recovered after a crash goes (empty: "MyVoice").
    std::string ProgramName = "Murmel";
    // The source to record from, given on murmel-cli's command line; it wins over
    // MURMEL_CAPTURE and the settings' "SoundSetup"/"Microphone".
    std::string MicrophoneOverride;
    // murmel-cli's --clean: the voice is cleaned whatever "SoundSetup"/"CleanVoice" says.
    bool CleanOverride = false;
    std::string RecoveryTarget;

  private:
    // Puts the chosen microphone on the wave input, with the voice cleaning as
    // chosen; false when it is missing and the listener declines the default.
    bool ChooseMicrophone();
    void WatchInputLevel();
    void StartWithoutMusic();
    void StartWithMusic();
    // A new temporary base name, with the voice track's name set on the writer.
    void ReserveRecordingFiles(bool withMusic);
    void StopInput();
    // Starts the wave input with the journal written; a failed start removes it.
    void StartInput();
    void WriteJournal();
    void RemoveJournal();
    // The saving steps after the input has stopped (Part of StopRecording).
    void SaveRecording();
    void SaveVoiceMail(bool automatic);
    // The save question: a fresh time-stamp name is proposed, and a name that
    // exists is replaced only when the listener agrees. Empty when cancelled.
    std::string AskSaveName(SaveDialogKind kind, const char* extension);
    // A start that failed: the tune stops and the reserved files go.
    void AbandonStart() noexcept;
    void SavePlainRecording(bool automatic);
    void RemoveRecordingFiles(bool withSchedule);
    // The input stopped on its own (device error, file source ended): save it.
    void FinishUnrequestedStop();
    void UpdateCaption();
    void Changed();

    std::string programFolder_;
    RecordingChain& chain_;
    TWMediaPlayer& music_;
    AttachmentList& attachments_;
    RecorderListener& listener_;
    UIThreadPost& ui_;
    TPkStreams PkS;

    bool recording_ = false;
    bool recWithMusic_ = false;
    bool stopRequested_ = false;
    bool closing_ = false;
    bool recordingHasMusic_ = false;  // the kind of the current or last recording
    int64_t startPositionMs_ = 0;
    int64_t stoppedAtMs_ = 0;
    int32_t scheduleIndex_ = 0;
    std::string tempBaseName_;
    std::string schedulePath_;
    // The journal of the current recording, until it is saved or discarded.
    std::optional<RecordingJournal> journal_;
    int sliderPosition_ = kInitialSliderPosition;
    std::string sdMp3FileName_, sdMVMFileName_;
    RecorderDisplay display_;
    std::string microphone_;  // the source the wave input's device was made for; empty: as given
    InputLevelWatch inputWatch_;
    bool paused_ = false;
    int64_t pausedAtMs_ = 0;      // the input's position when the pause began
    int64_t pausedMs_ = 0;        // what the input's clock ran through earlier pauses
    bool musicOnResume_ = false;  // the tune was playing (not ended) when paused
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace murmel
