#pragma once
#include <cstdint>
#include <string>

#include "AudioOutput.h"
#include "PlayerListener.h"
#include "VoiceDevice.h"
#include "VoiceMailFiles.h"
#include "VolumeScheduleTable.h"
#include "WMediaPlayer.h"

namespace murmel {

// The player without its window: opening a voice mail, playing its voice track
// and tune together, the 50 ms progress tick with the volume schedule, the play
// button, the music box and the clean-up on closing. It owns no timer: whoever
// drives it calls TmProgressTimer every 50 ms while the display says the timer runs.
class PlayerCore {
  public:
    static constexpr const char* kCaptionPlay = "播放";
    static constexpr const char* kCaptionStop = "停止";
    static constexpr const char* kIdleTime = "00:00.000";
    static constexpr int32_t kInitialSavedVolume = -600;
    static constexpr int32_t kStartVolume = -400;
    // A file that is neither a voice mail nor a recording the player plays as it is.
    static constexpr const char* kNotARecording = "Not a voice mail or a recording";

    // Output and listener must outlive the core.
    PlayerCore(AudioOutput& output, PlayerListener& listener);
    ~PlayerCore();  // closes as FormClose does
    PlayerCore(const PlayerCore&) = delete;
    PlayerCore& operator=(const PlayerCore&) = delete;

    // Unpacks the voice mail and plays it; a plain recording (RIFF WAVE, MPEG audio)
    // plays as it is, without music. A missing, unreadable or damaged file, or one
    // that is neither (kNotARecording), changes nothing and returns false; LastLoadError says why,
    // and so does the listener's OpenFailed unless no file was named at all. Other failures (a
    // temporary file that cannot be written, a voice track the device refuses) throw, with nothing
    // left behind.
    bool ExecuteMVMFile(const std::string& fileName);
    void Play(const std::string& voiceFile, const std::string& musicFile);
    void StopPlay();
    void TmProgressTimer();
    void BitBtn1Click();  // the open button
    void BitBtn2Click();  // play/stop
    void cbMusicClick(bool checked);
    void FormClose();

    // Playback speed with the voice's pitch kept: the voice is stretched and the
    // tune's tempo follows. Kept across openings; playback in progress changes at once.
    static constexpr double kSpeeds[] = {1.0, 1.25, 1.5, 2.0};
    void SetSpeed(double speed);
    double Speed() const { return voice_.Speed(); }
    // Jumps to `ms` of the voice track while playing (nothing otherwise). The music
    // follows, at the volume of the last schedule entry before `ms` (kStartVolume
    // before the first), and the schedule replays from the entry after it.
    void Seek(int64_t ms);

    const PlayerDisplay& Display() const { return display_; }
    bool Playing() const { return playing_; }
    int32_t ScheduleIndex() const { return scheduleIndex_; }
    int32_t SavedMusicVolume() const { return savedMusicVolume_; }
    const std::string& CurrentFileName() const { return currentFileName_; }
    void SetCurrentFileName(const std::string& fileName) { currentFileName_ = fileName; }
    const VoiceMailFiles& TempFiles() const { return files_; }
    const std::string& LastLoadError() const { return lastLoadError_; }
    // Why the last playback ended early (the sound system failed); empty otherwise.
    const std::string& LastPlaybackError() const { return lastPlaybackError_; }
    VoiceDevice& Voice() { return voice_; }
    TWMediaPlayer& Music() { return music_; }

  private:
    class Notify;
    void SetCaption(const char* caption) { display_.playCaption = caption; }
    void EndOfTrack();
    void ShowPosition();
    bool OpenPlainRecording(const std::string& fileName);
    bool LoadFailed(const std::string& fileName, const std::string& reason);
    bool SoundSystemFailed();

    PlayerListener& listener_;
    VoiceDevice voice_;
    TWMediaPlayer music_;
    PlayerDisplay display_;
    VoiceMailFiles files_;
    VolumeScheduleTable schedule_;  // the opened voice mail's, read once
    std::string currentFileName_;
    std::string lastLoadError_;
    std::string lastPlaybackError_;
    bool playing_ = false;
    int32_t scheduleIndex_ = 0;
    int32_t savedMusicVolume_ = kInitialSavedVolume;
};

}  // namespace murmel
