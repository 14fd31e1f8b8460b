// The player's logic on the offline renderer: every 50 ms of rendered sound is one
// tick, so the schedule is replayed exactly as in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "PlayTestFiles.h"
#include "RenderHarness.h"

using namespace murmel;
using namespace murmel::test;

namespace {

class PlayerCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        mails = FreshFolder("mails");
        renders = FreshFolder("renders");
        player = std::make_unique<RenderedPlayer>(renders + "render.wav");
    }

    // A voice mail with a silent PCM voice track, so the rendered sound is the music.
    std::string Mail(const std::string& name, double voiceSeconds, const std::string& midi,
                     const std::string& schedule, bool compressed = true) {
        const std::string path = mails + name;
        WriteVoiceMail(path, PcmWave(8000, 1, voiceSeconds, 0, 0, true), midi, schedule, compressed);
        return path;
    }

    bool HaveSoundFont() { return !TWMediaPlayer::SoundFontPath().empty(); }

    std::vector<int16_t> Samples() {
        player->Finish();
        return RenderedSamples(renders + "render.wav");
    }

    // Start (ms) of the first 10 ms window after `fromMs` whose level differs from
    // the level just before `fromMs` by at least half of `stepDb`.
    int ChangeAt(const std::vector<int16_t>& samples, int fromMs, double stepDb) {
        const double before = LevelDb(samples, fromMs - 200, fromMs);
        for (int at = fromMs; at < fromMs + 500; at += 5)
            if (std::abs(LevelDb(samples, at, at + 10) - before) >= std::abs(stepDb) / 2) return at;
        return -1;
    }

    PlayerCore& Core() { return *player->core; }

    std::string mails, renders;
    std::unique_ptr<RenderedPlayer> player;
};

}  // namespace

TEST_F(PlayerCoreTest, ScheduleMovesTheMusicAtItsTimesByItsLevels) {
    if (!HaveSoundFont()) GTEST_SKIP() << "no General MIDI soundfont";
    // Levels 9, 4, 7, 2: -400, -2400, -1200, -3200 hundredths of a decibel.
    const std::string mail = Mail("levels.mvm", 4.0, MidiTune(6),
                                  ScheduleText({{0, 9}, {1000, 4}, {2010, 7}, {3000, 2}}));
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    player->Run(10000);
    EXPECT_EQ(player->listener.ended, 1);

    const auto& applied = player->listener.applied;
    ASSERT_EQ(applied.size(), 4u);
    const int32_t volumes[] = {-400, -2400, -1200, -3200};
    const int64_t tickTimes[] = {50, 1050, 2050, 3050};  // first tick whose position is beyond the time
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(applied[i].index, static_cast<int32_t>(i));
        EXPECT_EQ(applied[i].volume, volumes[i]);
        EXPECT_EQ(player->listener.appliedAtMs[i], tickTimes[i]);
        EXPECT_EQ(applied[i].positionMs, tickTimes[i]);
    }

    const std::vector<int16_t> samples = Samples();
    const double first = LevelDb(samples, 600, 1000);
    EXPECT_GT(first, -50);
    EXPECT_NEAR(LevelDb(samples, 1300, 2000) - first, -20.0, 1.5);
    EXPECT_NEAR(LevelDb(samples, 2300, 3000) - first, -8.0, 1.5);
    EXPECT_NEAR(LevelDb(samples, 3300, 3900) - first, -28.0, 1.5);
    const int changes[] = {ChangeAt(samples, 1000, 20), ChangeAt(samples, 2010, 12),
                           ChangeAt(samples, 3000, 20)};
    const int times[] = {1000, 2010, 3000};
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(changes[i], times[i] - 5) << "entry " << i + 1;
        EXPECT_LE(changes[i], times[i] + 50) << "entry " << i + 1;  // within one tick
    }
}

TEST_F(PlayerCoreTest, MutedMusicIsSilentAndItsVolumeComesBack) {
    if (!HaveSoundFont()) GTEST_SKIP() << "no General MIDI soundfont";
    const std::string mail = Mail("mute.mvm", 3.5, MidiTune(5),
                                  ScheduleText({{0, 9}, {1000, 4}, {1500, 5}, {2000, 6}}));
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    player->Run(700);
    Core().cbMusicClick(false);
    EXPECT_EQ(Core().SavedMusicVolume(), -400);
    EXPECT_TRUE(Core().Music().Mute());
    player->Run(1800);  // to 2500: the entries go on changing the volume while muted
    EXPECT_EQ(Core().Music().Volume(), -1600);
    Core().cbMusicClick(true);
    EXPECT_FALSE(Core().Music().Mute());
    EXPECT_EQ(Core().Music().Volume(), -400);
    player->Run(5000);

    const std::vector<int16_t> samples = Samples();
    const double before = LevelDb(samples, 300, 700);
    EXPECT_GT(before, -50);
    EXPECT_EQ(LevelDb(samples, 710, 2490), -200);
    EXPECT_NEAR(LevelDb(samples, 2600, 3400), before, 1.5);
}

TEST_F(PlayerCoreTest, EndOfTrackStopsAndRemovesEveryTemporaryFile) {
    const std::string mail = Mail("short.mvm", 1.0, MidiTune(3), ScheduleText({{0, 5}}), false);
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    const VoiceMailFiles files = Core().TempFiles();
    EXPECT_EQ(LooseTempFiles().size(), 6u);  // three files and their placeholders
    EXPECT_EQ(files.voice, files.placeholders[0] + ".mp3");
    EXPECT_EQ(files.music, files.placeholders[1] + ".mid");
    EXPECT_EQ(files.schedule, files.placeholders[2] + ".Ctr");
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionStop);
    EXPECT_EQ(Core().Display().progressMaximum, 1000);
    EXPECT_TRUE(Core().Playing());

    player->Run(500);
    EXPECT_EQ(Core().Display().timeText, "0:00.500");
    EXPECT_EQ(Core().Display().progress, 500);
    player->Run(5000);
    EXPECT_EQ(player->listener.ended, 1);
    // A one-second track ends at the first tick after its sound has been heard.
    EXPECT_GE(player->NowMs(), 1000);
    EXPECT_LE(player->NowMs(), 1050);
    EXPECT_FALSE(Core().Playing());
    EXPECT_FALSE(Core().Display().progressTimerEnabled);
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionPlay);
    EXPECT_EQ(Core().Display().timeText, PlayerCore::kIdleTime);
    EXPECT_EQ(Core().Display().progress, 0);
    EXPECT_TRUE(LooseTempFiles().empty());
    EXPECT_EQ(Core().CurrentFileName(), "");  // set only by the command line and the dialogs
}

TEST_F(PlayerCoreTest, ClosingDuringPlaybackRemovesTheFiles) {
    const std::string mail = Mail("close.mvm", 2.0, MidiTune(3), ScheduleText({{0, 5}}));
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    player->Run(500);
    Core().FormClose();
    EXPECT_EQ(Core().Voice().Mode(), mpNotReady);
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST_F(PlayerCoreTest, ClosingAfterAnUnnoticedEndStillRemovesTheFiles) {
    const std::string mail = Mail("unnoticed.mvm", 0.5, "", "");
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    player->output->OutputClock().WaitUntilMs(800);  // no tick has seen the end
    ASSERT_EQ(Core().Voice().Mode(), mpStopped);
    Core().FormClose();
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST_F(PlayerCoreTest, DamagedVoiceMailLeavesPlaybackUntouched) {
    const std::string good = Mail("good.mvm", 1.5, MidiTune(3), ScheduleText({{0, 5}}));
    ASSERT_TRUE(Core().ExecuteMVMFile(good));
    player->Run(300);
    const VoiceMailFiles before = Core().TempFiles();

    const std::string damaged = mails + "damaged.mvm";
    std::string bytes = ReadFile(good);
    WriteFile(damaged, bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(Core().ExecuteMVMFile(damaged));
    EXPECT_NE(Core().LastLoadError(), "");
    WriteFile(damaged, "\x07\x09garbage");
    EXPECT_FALSE(Core().ExecuteMVMFile(damaged));
    EXPECT_FALSE(Core().ExecuteMVMFile(mails + "absent.mvm"));
    std::filesystem::create_directory(mails + "folder.mvm");
    EXPECT_FALSE(Core().ExecuteMVMFile(mails + "folder.mvm"));

    EXPECT_EQ(Core().TempFiles().voice, before.voice);
    EXPECT_EQ(Core().Voice().Mode(), mpPlaying);
    EXPECT_EQ(LooseTempFiles().size(), 6u);
    player->Run(5000);
    EXPECT_EQ(player->listener.ended, 1);
    EXPECT_GE(player->NowMs(), 1500);
}

TEST_F(PlayerCoreTest, EmptyMusicEntryStillPlaysTheVoice) {
    const std::string mail = mails + "nomusic.mvm";
    WriteVoiceMail(mail, PcmWave(8000, 1, 1.0, 1000, 0.5), "", ScheduleText({{0, 5}}), true);
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    EXPECT_FALSE(Core().Music().Playing());
    player->Run(5000);
    EXPECT_EQ(player->listener.ended, 1);
    const std::vector<int16_t> samples = Samples();
    EXPECT_NEAR(LevelDb(samples, 100, 900), -9.0, 0.5);
}

TEST_F(PlayerCoreTest, UnplayableTuneMeansNoMusic) {
    const std::string mail = Mail("badtune.mvm", 0.5, "this is no MIDI file", "");
    ASSERT_TRUE(Core().ExecuteMVMFile(mail));
    EXPECT_FALSE(Core().Music().Playing());
    player->Run(2000);
    EXPECT_EQ(player->listener.ended, 1);
}

TEST_F(PlayerCoreTest, RefusedVoiceTrackRaisesAndLeavesNothingBehind) {
    const std::string mail = mails + "novoice.mvm";
    TPkStreams streams;
    streams.AddStream("BGMusic", ByteStream{'M', 'T'});
    streams.SaveToFile(mail);
    EXPECT_THROW(Core().ExecuteMVMFile(mail), EMCIDeviceError);
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionPlay);
    EXPECT_FALSE(Core().Display().progressTimerEnabled);
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST_F(PlayerCoreTest, PlayButtonReopensFromTheStartWithNewFiles) {
    const std::string mail = Mail("again.mvm", 0.5, "", ScheduleText({{0, 5}, {100, 6}}));
    player->listener.chosen = mail;
    Core().BitBtn2Click();  // no file yet: the dialog picks one
    EXPECT_EQ(Core().CurrentFileName(), mail);
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionStop);
    const std::string firstVoice = Core().TempFiles().voice;
    player->Run(5000);
    EXPECT_EQ(player->listener.ended, 1);
    EXPECT_EQ(Core().ScheduleIndex(), 2);

    player->listener.chosen = "";
    Core().BitBtn2Click();
    EXPECT_TRUE(Core().Playing());
    EXPECT_EQ(Core().ScheduleIndex(), 0);
    EXPECT_NE(Core().TempFiles().voice, firstVoice);
    EXPECT_EQ(LooseTempFiles().size(), 6u);
    Core().BitBtn2Click();  // stop
    EXPECT_FALSE(Core().Playing());
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionPlay);
    EXPECT_EQ(Core().Voice().Mode(), mpNotReady);
}

TEST_F(PlayerCoreTest, PlayClickWithoutAFileLeavesTheStopCaption) {
    Core().BitBtn2Click();  // dialog cancelled
    EXPECT_TRUE(Core().Playing());
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionStop);
    EXPECT_FALSE(Core().Display().progressTimerEnabled);
    Core().BitBtn2Click();
    EXPECT_FALSE(Core().Playing());
    EXPECT_EQ(Core().Display().playCaption, PlayerCore::kCaptionPlay);
}

TEST_F(PlayerCoreTest, OpeningAgainUsesNewNamesAndDropsTheOldSet) {
    const std::string mail = Mail("twice.mvm", 2.0, "", "");
    player->listener.chosen = mail;
    Core().BitBtn1Click();
    const VoiceMailFiles first = Core().TempFiles();
    player->Run(200);
    Core().BitBtn1Click();
    const VoiceMailFiles second = Core().TempFiles();
    EXPECT_NE(first.voice, second.voice);
    EXPECT_NE(first.schedule, second.schedule);
    EXPECT_FALSE(std::filesystem::exists(first.voice));
    EXPECT_EQ(LooseTempFiles().size(), 6u);
    EXPECT_EQ(Core().Voice().Position(), 0);
}

TEST_F(PlayerCoreTest, ExtractionRefusesAPlantedLink) {
    // Someone who guesses the next name cannot make the player write through a link.
    const std::string mail = Mail("planted.mvm", 0.5, "", "");
    const std::string victim = mails + "victim";
    WriteFile(victim, "keep");
    std::set<std::string> planted;
    for (unsigned number = 1; number <= 0xFFFF; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp.mp3", number);
        const std::string link = murmel::TempFolder() + name;
        if (symlink(victim.c_str(), link.c_str()) == 0) planted.insert(link);
    }
    EXPECT_THROW(Core().ExecuteMVMFile(mail), std::runtime_error);
    EXPECT_EQ(ReadFile(victim), "keep");
    for (const std::string& link : planted) unlink(link.c_str());
    EXPECT_TRUE(LooseTempFiles().empty());
}
