// The recording session: the rows of its state table, the schedule it logs and
// the quality preset it applies, on a fake capture device.
#include <chrono>
#include <filesystem>
#include <thread>

#include "IniFile.h"
#include "PkStreamCol.h"
#include "PresetsStore.h"
#include "SessionFixture.h"

namespace murmel::test {
namespace {

namespace fs = std::filesystem;

TEST_F(SessionTest, RecordingWithoutMusicStartsAndStopsIntoMyVoice) {
    session->bitbtnRecClick();
    ASSERT_TRUE(session->Recording());
    EXPECT_EQ(user.display.recCaption, "停止");
    EXPECT_FALSE(user.display.musicCheckEnabled);
    EXPECT_TRUE(user.display.timerEnabled);
    EXPECT_TRUE(fs::exists(session->TempBaseName()));
    EXPECT_EQ(chain->WaveFile_Output.Wave().FileName(), session->TempBaseName() + ".mp3");

    device.Deliver(300);
    session->tmRecTimer();
    EXPECT_EQ(user.display.recTimeText, "0:00.300");
    session->bitbtnRecClick();

    EXPECT_FALSE(session->Recording());
    EXPECT_EQ(user.display.recCaption, "录音");
    EXPECT_TRUE(user.display.musicCheckEnabled);
    EXPECT_FALSE(user.display.timerEnabled);
    const std::string saved = MyVoice("2004_7_5_9_3_7.mp3");
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(ReadFile(saved).substr(0, 4), "RIFF");
    ASSERT_EQ(attachments.Count(), 1u);
    EXPECT_EQ(attachments.Items()[0].caption, "2004_7_5_9_3_7.mp3");
    EXPECT_EQ(attachments.Items()[0].path, saved);
    EXPECT_EQ(session->SaveDialogFileName(SaveDialogKind::sdMp3), saved);
    EXPECT_TRUE(TempFiles().empty()) << "temporary track and reservation are removed";
}

std::pair<uint32_t, size_t> WaveData(const std::string& wave);

// The cleaner's delay is taken out: the track is as long as what was captured,
// and a sound starts where it was captured, not later.
TEST_F(SessionTest, TheVoiceIsCleanedFromTheNextRecordingOnceTheSettingsSaySo) {
    session->ResolutionOverride = "none";  // PCM: the track's bytes are its sound
    session->bitbtnRecClick();
    EXPECT_FALSE(chain->VoiceClean.Cleaning());
    Setting("SoundSetup", "CleanVoice", "YES");
    session->bitbtnRecClick();
    session->bitbtnRecClick();
    EXPECT_TRUE(chain->VoiceClean.Cleaning());
    device.Deliver(1000, 0);
    device.Deliver(1000, 8000);
    session->bitbtnRecClick();
    EXPECT_FALSE(chain->VoiceClean.Cleaning());

    const std::string track = ReadFile(attachments.Items().back().path);
    constexpr size_t kFrameBytes = 4;
    constexpr double kMsBytes = 176.4;
    EXPECT_EQ(WaveData(track).first, 2 * 176400u);
    const size_t data = track.find("data") + 8;
    size_t onset = data;
    while (onset + 1 < track.size() && std::abs(int16_t(uint8_t(track[onset]) |
                                                        uint8_t(track[onset + 1]) << 8)) < 1000)
        onset += kFrameBytes;
    EXPECT_NEAR(double(onset - data) / kMsBytes, 1000, 12) << "ms into the track";
}

// An unplugged or muted microphone is reported 3 s into the recording and no
// earlier, and taken back when sound arrives; a clipped input is shown, and the
// warnings end with the recording.
TEST_F(SessionTest, SilenceAtTheStartAndClippingAreReported) {
    using W = InputWarning;
    session->bitbtnRecClick();
    ASSERT_TRUE(session->Recording());
    const struct {
        int ms;
        int16_t amplitude;
        std::vector<W> expected;  // every warning reported so far
    } steps[] = {
        {2900, 0, {}},
        {100, 20, {W::Silent}},  // -64 dBFS is still silence
        {100, 2000, {W::Silent, W::None}},
        {4000, 0, {W::Silent, W::None}},  // a pause later on is the speaker's
        {100, 32767, {W::Silent, W::None, W::Clipping}},
        {1000, 2000, {W::Silent, W::None, W::Clipping}},
        {1000, 2000, {W::Silent, W::None, W::Clipping, W::None}},
        {100, 32767, {W::Silent, W::None, W::Clipping, W::None, W::Clipping}},
    };
    for (const auto& step : steps) {
        device.Deliver(step.ms, step.amplitude);
        session->tmRecTimer();
        EXPECT_EQ(user.inputWarnings, step.expected) << step.ms << " ms at " << step.amplitude;
    }
    session->bitbtnRecClick();
    EXPECT_EQ(user.inputWarnings.back(), W::None);
}

TEST_F(SessionTest, MyVoiceIsCreatedWhenMissing) {
    ASSERT_FALSE(fs::exists(folder + "MyVoice"));
    session->bitbtnRecClick();
    session->bitbtnRecClick();
    EXPECT_TRUE(fs::exists(MyVoice("2004_7_5_9_3_7.mp3")));
}

TEST_F(SessionTest, StartFailureLeavesTheRecorderIdleTheMusicStoppedAndNoFiles) {
    device.present = false;
    for (bool withMusic : {false, true}) {
        session->cbRecWithMusicClick(withMusic);
        user.musicAnswers = {tune};
        EXPECT_THROW(session->bitbtnRecClick(), EMMWaveInError);
        EXPECT_FALSE(session->Recording());
        EXPECT_FALSE(music->Playing());
        EXPECT_EQ(user.display.recCaption, "录音");
        EXPECT_TRUE(user.display.musicCheckEnabled);
        EXPECT_TRUE(TempFiles().empty()) << "no reservation left behind, music " << withMusic;
    }
}

TEST_F(SessionTest, MusicWithoutTuneCancelledDoesNothing) {
    session->cbRecWithMusicClick(true);
    session->bitbtnRecClick();
    EXPECT_FALSE(session->Recording());
    ASSERT_EQ(user.musicFolders.size(), 1u);
    EXPECT_EQ(user.musicFolders[0], folder + "BGMusic/");
    EXPECT_EQ(session->TempBaseName(), "");
    EXPECT_TRUE(TempFiles().empty()) << "no temporary name is reserved";
    EXPECT_EQ(user.display.recCaption, "录音");
}

TEST_F(SessionTest, RecordingWithMusicLogsEverySliderMove) {
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    ASSERT_TRUE(session->Recording());
    EXPECT_TRUE(music->Playing());
    EXPECT_EQ(session->ScheduleIndex(), 1);
    IniFile schedule(session->SchedulePath());
    EXPECT_EQ(schedule.ReadText("0", "Time", "?"), "0");
    EXPECT_EQ(schedule.ReadText("0", "Volume", "?"), "8");

    // Five arrow clicks from 85 to 80: five entries, all at level 8, each at its time.
    for (int position = 84; position >= 80; --position) {
        device.Deliver(100);
        session->BGVolumeChange(position);
    }
    EXPECT_EQ(session->ScheduleIndex(), 6);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(schedule.ReadText(std::to_string(n), "Volume", "?"), "8");
        EXPECT_EQ(schedule.ReadNumber(std::to_string(n), "Time", -1), n * 100);
    }
    EXPECT_EQ(music->Volume(), 80 * 40 - 4000);
    EXPECT_EQ(user.display.volumeText, "80%");

    const std::string track = session->VoiceTrackPath(), ctr = session->SchedulePath();
    session->bitbtnRecClick();
    EXPECT_FALSE(music->Playing());
    const std::string saved = MyVoice("2004_7_5_9_3_7.mvm");
    TPkStreams mail;
    mail.LoadFromFile(saved);
    EXPECT_EQ(mail.Names(), (std::vector<std::string>{"BGMusic", "CtrInfo", "Mp3File"}));
    EXPECT_EQ(mail.Find("BGMusic")->size(), fs::file_size(tune));
    EXPECT_NE(std::string(mail.Find("CtrInfo")->begin(), mail.Find("CtrInfo")->end()).find("[5]"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(track));
    EXPECT_FALSE(fs::exists(ctr));
    ASSERT_EQ(attachments.Count(), 1u);
    EXPECT_EQ(attachments.Items()[0].path, saved);
}

// The size in a RIFF file's 'data' chunk header and the bytes behind it on disk.
std::pair<uint32_t, size_t> WaveData(const std::string& wave) {
    const size_t at = wave.find("data");
    if (at == std::string::npos || at + 8 > wave.size()) return {0, 0};
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | uint8_t(wave[at + 4 + size_t(i)]);
    return {size, wave.size() - at - 8};
}

// A pause is no part of the recording, even on a device whose clock runs on: the
// track holds the sound before and after it as one piece, and the schedule counts
// track time. What was recorded is on disk while paused, for a crash to keep.
TEST_F(SessionTest, APauseIsLeftOutOfTheTrackAndTheSchedule) {
    session->ResolutionOverride = "none";  // PCM: the track's length is its sound
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    device.Deliver(1000);
    session->BGVolumeChange(70);
    session->bitbtnPauseClick();
    EXPECT_TRUE(user.display.paused);
    EXPECT_FALSE(user.display.timerEnabled);
    EXPECT_FALSE(music->Playing());
    constexpr uint32_t kSecond = 176400;
    std::pair<uint32_t, size_t> onDisk;
    for (int i = 0; i < 200 && onDisk != std::pair<uint32_t, size_t>{kSecond, kSecond}; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        onDisk = WaveData(ReadFile(session->VoiceTrackPath()));
    }
    EXPECT_EQ(onDisk, (std::pair<uint32_t, size_t>{kSecond, kSecond}));

    device.Deliver(5000);  // paused: nothing is delivered, the clock runs on
    session->tmRecTimer();
    EXPECT_EQ(user.display.recTimeText, "0:01.000");
    session->BGVolumeChange(60);  // logged at the paused time
    session->bitbtnPauseClick();
    EXPECT_FALSE(user.display.paused);
    EXPECT_TRUE(music->Playing());
    device.Deliver(500);
    session->tmRecTimer();
    EXPECT_EQ(user.display.recTimeText, "0:01.500");
    session->BGVolumeChange(50);
    session->bitbtnPauseClick();
    device.Deliver(2000);
    session->bitbtnRecClick();  // stop while paused: saved as ever
    EXPECT_FALSE(user.display.pauseEnabled);

    TPkStreams mail;
    mail.LoadFromFile(MyVoice("2004_7_5_9_3_7.mvm"));
    const ByteStream* track = mail.Find("Mp3File");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(WaveData(std::string(track->begin(), track->end())).first, kSecond * 3 / 2);
    const ByteStream* ctr = mail.Find("CtrInfo");
    const std::string schedule = folder + "schedule.Ctr";
    WriteFile(schedule, std::string(ctr->begin(), ctr->end()));
    const int64_t times[] = {0, 1000, 1000, 1500};
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(IniFile(schedule).ReadNumber(std::to_string(n), "Time", -1), times[n]) << n;
}

TEST_F(SessionTest, SliderOutsideAMusicRecordingWritesNothing) {
    session->BGVolumeChange(40);
    EXPECT_EQ(music->Volume(), -2400);
    EXPECT_EQ(user.display.volumeText, "40%");
    session->BGVolumeChange(0);
    EXPECT_EQ(music->Volume(), -4000);
    session->BGVolumeChange(100);
    EXPECT_EQ(music->Volume(), 0);

    session->bitbtnRecClick();  // without music
    session->BGVolumeChange(50);
    EXPECT_EQ(session->ScheduleIndex(), 0);
    EXPECT_EQ(session->SchedulePath(), "");
    session->bitbtnRecClick();
}

TEST_F(SessionTest, ASecondMusicRecordingStartsANewSchedule) {
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    session->BGVolumeChange(60);
    session->bitbtnRecClick();
    const std::string first = session->SchedulePath();

    session->bitbtnRecClick();  // the tune is loaded: no question this time
    EXPECT_EQ(user.musicFolders.size(), 1u);
    EXPECT_NE(session->SchedulePath(), first);
    EXPECT_EQ(session->ScheduleIndex(), 1);
    EXPECT_EQ(IniFile(session->SchedulePath()).ReadText("0", "Volume", "?"), "6");
    session->bitbtnRecClick();
    EXPECT_TRUE(fs::exists(MyVoice("2004_7_5_9_3_7_2.mvm")));
}

TEST_F(SessionTest, ChoosingMusicShowsTheSelectionAndLoadsTheTune) {
    session->odBGMusicSelectionChange("/music/a.mid");
    EXPECT_EQ(user.statusTexts.back(), "背景音乐/music/a.mid");
    user.musicAnswers = {tune};
    session->BitBtn1Click();
    EXPECT_EQ(music->FileName(), tune);
    session->BitBtn1Click();  // cancelled: the tune stays
    EXPECT_EQ(music->FileName(), tune);
}

TEST_F(SessionTest, NoOtherTuneIsTakenWhileARecordingWithMusicRuns) {
    const std::string other = folder + "BGMusic/other.mid";
    WriteFile(other, ReadFile(tune) + "tail");
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune, other};
    session->bitbtnRecClick();
    EXPECT_FALSE(user.display.musicChoiceEnabled);
    session->BitBtn1Click();
    EXPECT_EQ(user.musicFolders.size(), 1u) << "the music dialog is not offered";
    EXPECT_TRUE(music->Playing());
    session->bitbtnRecClick();
    EXPECT_TRUE(user.display.musicChoiceEnabled);
    TPkStreams mail;
    mail.LoadFromFile(MyVoice("2004_7_5_9_3_7.mvm"));
    EXPECT_EQ(mail.Find("BGMusic")->size(), fs::file_size(tune));
}

TEST_F(SessionTest, SendButtonsStopAndSaveARunningRecording) {
    session->StopAndSaveIfRecording();  // idle: nothing
    EXPECT_EQ(attachments.Count(), 0u);
    session->bitbtnRecClick();
    session->StopAndSaveIfRecording();
    EXPECT_FALSE(session->Recording());
    EXPECT_EQ(user.display.recCaption, "录音");
    EXPECT_EQ(attachments.Count(), 1u);
}

TEST_F(SessionTest, AnInputThatStopsOnItsOwnIsSaved) {
    chain->WaveIn_Mic.SetMaxRecordTime(200);
    session->bitbtnRecClick();
    device.Deliver(400);
    for (int i = 0; i < 100 && (session->Recording() || ui.Pending()); ++i)
        ui.WaitAndRun(std::chrono::milliseconds(20));
    EXPECT_FALSE(session->Recording());
    EXPECT_EQ(user.display.recCaption, "录音");
    EXPECT_TRUE(fs::exists(MyVoice("2004_7_5_9_3_7.mp3")));
    EXPECT_EQ(attachments.Count(), 1u);
}

TEST_F(SessionTest, ClosingDuringARecordingSavesNothing) {
    session->bitbtnRecClick();
    device.Deliver(100);
    session->FormClose();
    ui.RunPending();
    EXPECT_FALSE(session->Recording());
    EXPECT_EQ(attachments.Count(), 0u);
    EXPECT_FALSE(fs::exists(folder + "MyVoice"));
}

// --- quality presets ---

class PresetTest : public SessionTest {
  protected:
    std::vector<uint8_t> ConverterFormat() const {
        const TWaveFormatEx* format = chain->ACMConverter.DestinationFormat();
        return format ? WaveFormatBytes(format) : std::vector<uint8_t>{};
    }
};

TEST_F(PresetTest, TheSettingsResolutionSelectsThePreset) {
    ASSERT_TRUE(chain->MMACM.ACMPresent());
    InstallPresets();
    session->ApplyQualityPreset();  // no setting: 2K
    EXPECT_EQ(ConverterFormat(), StandardPreset("2K"));
    EXPECT_EQ(chain->MMACM.CurrentFormat(), WaveFormatBytes(chain->ACMConverter.PWaveFormat()));
    Setting("SoundSetup", "Resolution", "8K");
    session->ApplyQualityPreset();
    EXPECT_EQ(ConverterFormat(), StandardPreset("8K"));
}

TEST_F(PresetTest, AnUnknownResolutionOrAMissingPresetKeepsTheFormat) {
    InstallPresets();
    Setting("SoundSetup", "Resolution", "4K");
    session->ApplyQualityPreset();
    Setting("SoundSetup", "Resolution", "3K");
    session->ApplyQualityPreset();
    EXPECT_EQ(ConverterFormat(), StandardPreset("4K"));
    Setting("SoundSetup", "Resolution", "4k");  // compared exactly
    session->ApplyQualityPreset();
    EXPECT_EQ(ConverterFormat(), StandardPreset("4K"));
    fs::remove(PresetsFolder() + "WaveFormat1K");
    Setting("SoundSetup", "Resolution", "1K");
    session->ApplyQualityPreset();
    EXPECT_EQ(ConverterFormat(), StandardPreset("4K"));
}

TEST_F(PresetTest, WithNoPresetsTheShippedOnesApplyAndTheChainIsTheRecorders) {
    fs::remove_all(PresetsFolder());
    session->ApplyQualityPreset();  // a fresh user of a system-wide install: MP3, not PCM
    EXPECT_EQ(ConverterFormat(), StandardPreset("2K"));
    EXPECT_EQ(chain->ACMConverter.Quality(), TMMACMQuality::cqHigh);
    EXPECT_EQ(chain->Reverb.Settings().InputGain, 100);
    EXPECT_EQ(WriteReverbSettings(chain->Reverb.Settings()), [] {
        std::string bytes = ReadFile(MURMEL_TEST_DATA "/valid/wave-reverb-recorder.rvb");
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }());
}

}  // namespace
}  // namespace murmel::test
