#include "PlayerCore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "MMUtils.h"
#include "RecordingKind.h"
#include "VolumeSchedule.h"

namespace murmel {

// Tells the listener about the display when a public operation ends, even by an
// exception, so the window never shows a stale state.
class PlayerCore::Notify {
  public:
    explicit Notify(PlayerCore& core) : core_(core) {}
    ~Notify() { core_.listener_.DisplayChanged(core_.display_); }

  private:
    PlayerCore& core_;
};

PlayerCore::PlayerCore(AudioOutput& output, PlayerListener& listener)
    : listener_(listener), voice_(output), music_(output) {
    display_.playCaption = kCaptionPlay;
    display_.timeText = kIdleTime;
}

PlayerCore::~PlayerCore() {
    try {
        FormClose();
    } catch (...) {
        files_.Remove();
    }
}

bool PlayerCore::ExecuteMVMFile(const std::string& fileName) {
    Notify notify(*this);
    struct stat info {};
    if (fileName.empty()) {
        lastLoadError_ = "No file chosen";
        return false;  // a cancelled dialog: nothing to report
    }
    if (stat(fileName.c_str(), &info) != 0) return LoadFailed(fileName, std::strerror(errno));
    switch (ProbeRecordingFile(fileName)) {
        case RecordingKind::VoiceMail:
            break;
        case RecordingKind::RiffWave:
        case RecordingKind::MpegAudio:
            return OpenPlainRecording(fileName);
        case RecordingKind::Unknown:
            return LoadFailed(fileName, kNotARecording);
    }
    VoiceMailFiles fresh;
    try {
        fresh = VoiceMailFiles::Unpack(fileName);
    } catch (const EStreamError& error) {
        return LoadFailed(fileName, error.what());  // damaged or unreadable
    } catch (const ECorruptFile& error) {
        return LoadFailed(fileName, error.what());
    }
    StopPlay();
    files_.Remove();  // the earlier opening's files are of no further use
    files_ = fresh;
    schedule_ = VolumeScheduleTable::Read(files_.schedule);
    lastLoadError_.clear();
    display_.musicAvailable = true;
    try {
        Play(files_.voice, files_.music);
    } catch (...) {
        files_.Remove();
        throw;
    }
    return true;
}

// The user's own file plays as it is: nothing is unpacked, so nothing of it is ever
// removed, and there is neither tune nor schedule.
bool PlayerCore::OpenPlainRecording(const std::string& fileName) {
    StopPlay();
    files_.Remove();
    files_ = VoiceMailFiles();
    schedule_ = VolumeScheduleTable();
    lastLoadError_.clear();
    display_.musicAvailable = false;
    Play(fileName, "");
    return true;
}

bool PlayerCore::LoadFailed(const std::string& fileName, const std::string& reason) {
    lastLoadError_ = reason;
    listener_.OpenFailed(fileName, reason);
    return false;
}

void PlayerCore::Play(const std::string& voiceFile, const std::string& musicFile) {
    Notify notify(*this);
    scheduleIndex_ = 0;
    lastPlaybackError_.clear();
    if (!voiceFile.empty()) voice_.Open(voiceFile);
    if (!musicFile.empty()) {
        music_.SetFileName(musicFile);
        try {
            music_.Play();
        } catch (const std::exception&) {
            // A missing, empty or unplayable tune means a voice mail without music.
        }
        music_.SetVolume(kStartVolume);
    }
    if (!voiceFile.empty()) {
        voice_.Play();
        display_.progressTimerEnabled = true;
        display_.progressMaximum = voice_.Length();
    }
    SetCaption(kCaptionStop);
    playing_ = true;
}

void PlayerCore::StopPlay() {
    Notify notify(*this);
    voice_.Close();
    music_.Stop();
    music_.SetFileName("");
    display_.progressTimerEnabled = false;
    display_.progress = 0;
    display_.timeText = kIdleTime;
    SetCaption(kCaptionPlay);
}

void PlayerCore::ShowPosition() {
    display_.timeText = FormatTimeText(voice_.Position(), true);
    display_.progress = voice_.Position();
}

void PlayerCore::TmProgressTimer() {
    if (!display_.progressTimerEnabled) return;
    Notify notify(*this);
    if (SoundSystemFailed()) return;
    ShowPosition();
    if (!files_.schedule.empty()) {
        const ScheduleEntry entry = schedule_.Entry(scheduleIndex_);
        const int64_t position = voice_.Position();
        if (position > entry.time) {
            const int32_t volume = VolumeSchedule::LevelToVolume(entry.level);
            music_.SetVolume(volume);
            listener_.ScheduleApplied(scheduleIndex_, position, volume);
            ++scheduleIndex_;
        }
    }
    // Asked again once stopped: a stream that dies between the two questions reads as
    // drained, and its failure must not pass for the end of the track.
    if (voice_.Mode() == mpStopped && !SoundSystemFailed()) EndOfTrack();
}

// A stream the sound system dropped would otherwise look like the end of the track.
bool PlayerCore::SoundSystemFailed() {
    std::string failure = voice_.Failure();
    if (failure.empty()) failure = music_.Failure();
    if (failure.empty()) return false;
    lastPlaybackError_ = failure;
    playing_ = false;
    StopPlay();
    files_.Remove();
    listener_.PlaybackFailed(failure);
    return true;
}

void PlayerCore::EndOfTrack() {
    playing_ = false;
    StopPlay();
    files_.Remove();
    listener_.PlaybackEnded();
}

void PlayerCore::BitBtn1Click() {
    const std::string chosen = listener_.ChooseVoiceMail();
    if (chosen.empty()) return;
    currentFileName_ = chosen;
    ExecuteMVMFile(currentFileName_);
}

void PlayerCore::BitBtn2Click() {
    Notify notify(*this);
    if (playing_) {
        playing_ = false;
        StopPlay();
        SetCaption(kCaptionPlay);
        return;
    }
    playing_ = true;
    if (currentFileName_.empty()) {
        const std::string chosen = listener_.ChooseVoiceMail();
        if (!chosen.empty()) currentFileName_ = chosen;
    }
    scheduleIndex_ = 0;
    ExecuteMVMFile(currentFileName_);
    SetCaption(kCaptionStop);
}

void PlayerCore::cbMusicClick(bool checked) {
    if (checked) {
        music_.SetMute(false);
        music_.SetVolume(savedMusicVolume_);
    } else {
        music_.SetMute(true);
        savedMusicVolume_ = music_.Volume();
    }
}

void PlayerCore::SetSpeed(double speed) {
    voice_.SetSpeed(speed);
    music_.SetTempo(voice_.Speed());
}

void PlayerCore::Seek(int64_t ms) {
    if (!display_.progressTimerEnabled) return;
    Notify notify(*this);
    ms = std::clamp<int64_t>(ms, 0, voice_.Length());
    voice_.Seek(ms);
    try {
        music_.Seek(ms);
    } catch (const EWMediaPlayerError&) {
        // As in Play: a tune that cannot play means a voice mail without music.
    }
    // The entries whose times lie before the target, as playing through would have
    // applied them; the replay goes on from the first later one.
    int32_t volume = kStartVolume;
    int32_t next = 0;
    if (!files_.schedule.empty()) {
        next = schedule_.FirstNotBefore(ms);
        if (next > 0) volume = VolumeSchedule::LevelToVolume(schedule_.Entry(next - 1).level);
    }
    music_.SetVolume(volume);
    scheduleIndex_ = next;
    ShowPosition();
}

void PlayerCore::FormClose() {
    // A track that has just ended may not have been seen by a tick yet: its files
    // are removed all the same.
    if (voice_.Mode() != mpStopped) StopPlay();
    files_.Remove();
}

}  // namespace murmel
