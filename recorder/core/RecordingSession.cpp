#include "RecordingSession.h"

#include <sys/stat.h>

#include <ctime>

#include "MMUtils.h"
#include "PresetsStore.h"
#include "RecordingSaver.h"
#include "SettingsStore.h"
#include "TempNames.h"
#include "TimeStampName.h"
#include "VolumeSchedule.h"

namespace murmel {

namespace {
std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}
}  // namespace

RecordingSession::RecordingSession(std::string programFolder, RecordingChain& chain,
                                   TWMediaPlayer& music, AttachmentList& attachments,
                                   RecorderListener& listener, UIThreadPost& ui)
    : Now(LocalNow),
      programFolder_(std::move(programFolder)),
      chain_(chain),
      music_(music),
      attachments_(attachments),
      listener_(listener),
      ui_(ui) {
    chain_.WaveIn_Mic.OnStart = [this](TMMDSPComponent*) { WaveIn_MicStart(); };
    chain_.WaveIn_Mic.OnStop = [this](TMMDSPComponent*) { WaveIn_MicStop(); };
    display_.volumeText = std::to_string(sliderPosition_) + "%";
}

RecordingSession::~RecordingSession() {
    FormClose();
    chain_.WaveIn_Mic.OnStart = nullptr;
    chain_.WaveIn_Mic.OnStop = nullptr;
}

void RecordingSession::Changed() { listener_.DisplayChanged(display_); }

// --- the record button ---

void RecordingSession::bitbtnRecClick() {
    if (!recording_) {
        StartRecording();
        if (recording_) display_.recCaption = kCaptionStop;
        Changed();
        return;
    }
    try {
        StopRecording();
    } catch (...) {
        UpdateCaption();  // the recording has stopped even when saving failed
        throw;
    }
    UpdateCaption();
}

void RecordingSession::UpdateCaption() {
    display_.musicCheckEnabled = true;
    if (!recording_) display_.recCaption = kCaptionRecord;
    Changed();
}

void RecordingSession::StopAndSaveIfRecording() {
    if (recording_) bitbtnRecClick();
}

// --- starting ---

void RecordingSession::StartRecording() {
    if (recording_) return;
    if (!ChooseMicrophone()) return;
    if (recWithMusic_)
        StartWithMusic();
    else
        StartWithoutMusic();
}

void RecordingSession::StartWithoutMusic() {
    ApplyQualityPreset();
    ReserveRecordingFiles(false);
    try {
        StartInput();
    } catch (...) {
        AbandonStart();
        throw;
    }
    display_.musicCheckEnabled = false;
    Changed();
}

void RecordingSession::StartWithMusic() {
    if (music_.FileName().empty()) {
        std::string tune = listener_.ChooseMusic(MusicFolder());
        if (tune.empty()) return;
        music_.SetFileName(tune);
    }
    ApplyQualityPreset();
    ReserveRecordingFiles(true);
    try {
        // Loaded anew, so the tune plays from its beginning.
        const std::string tune = music_.FileName();
        music_.SetFileName("");
        music_.SetFileName(tune);
        music_.Play();
        try {
            const int64_t time = chain_.WaveIn_Mic.Position() - startPositionMs_;
            VolumeSchedule(schedulePath_)
                .WriteEntry(0, static_cast<int32_t>(time), sliderPosition_);
        } catch (const std::exception&) {
            // The recording starts regardless; the player falls back for a missing entry.
        }
        scheduleIndex_ = 1;
        StartInput();
    } catch (...) {
        AbandonStart();
        throw;
    }
    display_.musicCheckEnabled = false;
    // The schedule belongs to this tune: another one is not taken until the stop.
    display_.musicChoiceEnabled = false;
    Changed();
}

void RecordingSession::AbandonStart() noexcept {
    if (recording_) return;  // the input did start: the recording is real
    music_.Stop();
    RemoveTemporaryFile(JournalPathFor(tempBaseName_));  // reserved, maybe never written
    RemoveTemporaryFile(VoiceTrackPath());  // no start event: nothing was recorded
    if (recordingHasMusic_) RemoveTemporaryFile(schedulePath_);
    RemoveTemporaryFile(tempBaseName_);
}

// Every file of the recording is made ours before any is written: in a shared
// temporary folder another user may hold (or link) some of the names.
void RecordingSession::ReserveRecordingFiles(bool withMusic) {
    std::vector<std::string> extensions = {kVoiceTrackExtension, kJournalExtension};
    if (withMusic) extensions.push_back(kScheduleExtension);
    tempBaseName_ = ReserveTempNames(extensions);
    recordingHasMusic_ = withMusic;
    chain_.WaveFile_Output.Wave().SetFileName(VoiceTrackPath());
    if (withMusic) schedulePath_ = tempBaseName_ + kScheduleExtension;
}

void RecordingSession::StartInput() {
    WriteJournal();
    try {
        chain_.WaveIn_Mic.Start();
    } catch (...) {
        RemoveJournal();  // nothing was recorded
        throw;
    }
}

// Written before the input starts, so a recording cut off at any moment is found
// again at the next start. Recording matters more than its journal: a journal
// that cannot be written does not stop the recording.
void RecordingSession::WriteJournal() {
    RecordingJournal journal =
        RecordingJournal::ForThisProcess(ProgramName, tempBaseName_, VoiceTrackPath());
    if (journal_) journal.started = journal_->started;
    journal.target = RecoveryTarget;
    journal.withMusic = recordingHasMusic_;
    if (recordingHasMusic_) {
        journal.tune = music_.FileName();
        journal.schedule = schedulePath_;
    }
    try {
        WriteRecordingJournal(journal);
        journal_ = std::move(journal);
    } catch (const std::exception&) {
        journal_.reset();
    }
}

void RecordingSession::RemoveJournal() {
    if (journal_) RemoveRecordingJournal(*journal_);
    journal_.reset();
}

void RecordingSession::ApplyQualityPreset() {
    if (!chain_.MMACM.ACMPresent()) return;
    const std::string resolution =
        !ResolutionOverride.empty()
            ? ResolutionOverride
            : SettingsStore(programFolder_).ReadText("SoundSetup", "Resolution", "2K");
    if (resolution != "1K" && resolution != "2K" && resolution != "4K" && resolution != "8K")
        return;
    const std::vector<uint8_t> record = EffectivePreset("WaveFormat" + resolution);
    WaveFormatPtr format = WaveFormatFromBytes(record.data(), record.size());
    if (!format) return;  // a missing or damaged preset keeps the converter's format
    chain_.ACMConverter.SetPWaveFormat(format.get());
    chain_.MMACM.SetPWaveFormat(chain_.ACMConverter.PWaveFormat());
}

// --- the wave input's events ---

void RecordingSession::WaveIn_MicStart() {
    startPositionMs_ = chain_.WaveIn_Mic.StartPosition();
    chain_.WaveIn_Mic.TakeInputLevel();
    inputWatch_.Start(0);
    paused_ = false;
    pausedMs_ = 0;
    display_.timerEnabled = true;
    display_.pauseEnabled = true;
    display_.paused = false;
    recording_ = true;
}

void RecordingSession::WaveIn_MicStop() {
    const bool wasRecording = recording_;
    if (wasRecording) {
        stoppedAtMs_ = RecordedMs();
        display_.recTimeText = FormatTimeText(stoppedAtMs_, true);
    }
    chain_.WaveIn_Mic.Close();  // finalises the voice track
    startPositionMs_ = 0;
    paused_ = false;
    pausedMs_ = 0;
    display_.timerEnabled = false;
    display_.pauseEnabled = false;
    display_.paused = false;
    recording_ = false;
    music_.Stop();
    display_.musicChoiceEnabled = true;
    Changed();
    if (inputWatch_.Warning() != InputWarning::None) {  // the warning ends with the recording
        inputWatch_.Start(0);
        listener_.InputWarningChanged(InputWarning::None);
    }
    if (!wasRecording || stopRequested_ || closing_) return;
    // The input ended on its own (the device went away): what was recorded is
    // saved as if the user had pressed stop, once the stop has run its course.
    std::weak_ptr<int> alive = alive_;
    ui_.Post([this, alive, base = tempBaseName_] {
        if (alive.expired() || recording_ || base != tempBaseName_) return;
        FinishUnrequestedStop();
    });
}

void RecordingSession::FinishUnrequestedStop() {
    try {
        SaveRecording();
    } catch (const std::exception& error) {
        listener_.ShowError(error.what());
    }
    UpdateCaption();
}

void RecordingSession::tmRecTimer() {
    if (!recording_ || paused_) return;
    display_.recTimeText = FormatTimeText(RecordedMs(), true);
    Changed();
    WatchInputLevel();
}

// --- slider and tune ---

void RecordingSession::BGVolumeChange(int position) {
    sliderPosition_ = position;
    music_.SetVolume(position * 40 - 4000);
    display_.volumeText = std::to_string(position) + "%";
    Changed();
    if (!recording_ || !recordingHasMusic_) return;
    const int64_t time = RecordedMs();
    // A refused write leaves the index, so the next move writes the same section.
    VolumeSchedule(schedulePath_).WriteEntry(scheduleIndex_, static_cast<int32_t>(time), position);
    listener_.ScheduleLogged(scheduleIndex_, time, position / 10);
    ++scheduleIndex_;
}

void RecordingSession::BitBtn1Click() {
    // The running schedule was logged against the tune playing now.
    if (recording_ && recordingHasMusic_) return;
    std::string tune = listener_.ChooseMusic(MusicFolder());
    if (tune.empty()) return;
    music_.SetFileName(tune);
}

void RecordingSession::odBGMusicSelectionChange(const std::string& path) {
    listener_.StatusText(kMusicStatusPrefix + path);
}

// --- stopping and saving ---

void RecordingSession::StopRecording() {
    StopInput();
    SaveRecording();
}

void RecordingSession::StopInput() {
    stopRequested_ = true;
    try {
        chain_.WaveIn_Mic.Stop();  // fires OnStop, which closes the input, before it returns
    } catch (...) {
        stopRequested_ = false;
        throw;
    }
    stopRequested_ = false;
}

void RecordingSession::SaveRecording() {
    const bool automatic =
        NamingMode == Naming::Settings
            ? SettingsStore(programFolder_).ReadText("AutoNameFile", "AutoName", "YES") == "YES"
            : NamingMode == Naming::Automatic;
    if (recordingHasMusic_)
        SaveVoiceMail(automatic);
    else
        SavePlainRecording(automatic);
}

void RecordingSession::SaveVoiceMail(bool automatic) {
    music_.Stop();
    std::string target;
    if (automatic) {
        target =
            ReserveAutomaticName(RecordingsFolder(programFolder_), TimeStampName(Now()), ".mvm");
        sdMVMFileName_ = target;
        try {
            PackVoiceMail(target);
        } catch (...) {
            RemoveTemporaryFile(target);  // only our own empty reservation
            throw;
        }
    } else {
        target = AskSaveName(SaveDialogKind::sdMVM, ".mvm");
        if (target.empty()) {
            RemoveRecordingFiles(true);  // cancelled: the recording is discarded
            return;
        }
        sdMVMFileName_ = target;
        PackVoiceMail(target);
    }
    RemoveRecordingFiles(true);
    attachments_.AddAttachment(target);
}

void RecordingSession::SavePlainRecording(bool automatic) {
    std::string target;
    if (automatic) {
        target =
            ReserveAutomaticName(RecordingsFolder(programFolder_), TimeStampName(Now()), ".mp3");
        sdMp3FileName_ = target;
        try {
            CopyRecording(VoiceTrackPath(), target);
        } catch (...) {
            RemoveTemporaryFile(target);
            throw;
        }
    } else {
        target = AskSaveName(SaveDialogKind::sdMp3, ".mp3");
        if (target.empty()) {
            RemoveRecordingFiles(false);
            return;
        }
        sdMp3FileName_ = target;
        // A failed copy is reported and keeps the temporary track.
        CopyRecording(VoiceTrackPath(), target);
    }
    RemoveRecordingFiles(false);
    attachments_.AddAttachment(target);
}

std::string RecordingSession::AskSaveName(SaveDialogKind kind, const char* extension) {
    const std::string& last = SaveDialogFileName(kind);
    const size_t slash = last.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? RecordingsFolder(programFolder_) : last.substr(0, slash + 1);
    // Never the last recording's own name: Enter would replace it.
    std::string proposal = folder + TimeStampName(Now()) + extension;
    for (;;) {
        std::string chosen = listener_.ChooseSaveName(kind, proposal);
        struct stat info {};
        if (chosen.empty() || lstat(chosen.c_str(), &info) != 0 || listener_.ConfirmReplace(chosen))
            return chosen;
        proposal = chosen;
    }
}

void RecordingSession::PackVoiceMail(const std::string& target) {
    PackVoiceMailFiles(PkS, VoiceTrackPath(), music_.FileName(), schedulePath_, target);
}

void RecordingSession::RemoveRecordingFiles(bool withSchedule) {
    // The journal first: saved or discarded, it is no longer to be recovered. Its
    // name was reserved even when no journal could be written.
    if (journal_)
        RemoveJournal();
    else
        RemoveTemporaryFile(JournalPathFor(tempBaseName_));
    RemoveTemporaryFile(VoiceTrackPath());
    if (withSchedule) RemoveTemporaryFile(schedulePath_);
    RemoveTemporaryFile(tempBaseName_);  // the empty file that reserved the name
}

const std::string& RecordingSession::SaveDialogFileName(SaveDialogKind kind) const {
    return kind == SaveDialogKind::sdMVM ? sdMVMFileName_ : sdMp3FileName_;
}

void RecordingSession::FormClose() {
    closing_ = true;
    try {
        if (chain_.WaveIn_Mic.State() & wisStarted) chain_.WaveIn_Mic.Stop();
    } catch (const std::exception&) {
        // Closing goes on; the input is closed below in any case.
    }
    chain_.WaveIn_Mic.Close();
    music_.Stop();
    recording_ = false;
    closing_ = false;
}

}  // namespace murmel
