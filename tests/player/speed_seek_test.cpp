// Playback speed and seeking on the offline renderer: every 50 ms of rendered sound
// is one tick, so positions, the schedule and the sound can be checked exactly.
#include <gtest/gtest.h>

#include <chrono>

#include "MidiTempoMap.h"
#include "PlayTestFiles.h"
#include "RenderHarness.h"
#include "SignalMeasures.h"
#include "VolumeSchedule.h"

using namespace murmel;
using namespace murmel::test;

namespace {

// A format-0 tune at 120 beats a minute, 480 ticks a beat: `rest` seconds of
// silence, then organ notes of 0.2 s every 0.25 s until `seconds`.
std::string RepeatedNotes(double seconds, double rest = 0) {
    std::string track;
    auto event = [&](uint32_t delta, std::initializer_list<int> bytes) {
        PutVariable(track, delta);
        for (int byte : bytes) track += static_cast<char>(byte);
    };
    event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    event(0, {0xC0, 19});
    uint32_t wait = static_cast<uint32_t>(rest * 960);
    for (double t = rest; t + 0.25 <= seconds; t += 0.25) {
        event(wait, {0x90, 60, 100});
        event(192, {0x80, 60, 0});
        wait = 48;
    }
    event(0, {0xFF, 0x2F, 0x00});
    std::string file = "MThd";
    for (int byte : {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}) file += static_cast<char>(byte);
    file += "MTrk";
    for (int shift : {24, 16, 8, 0}) file += static_cast<char>((track.size() >> shift) & 0xFF);
    return file + track;
}

// A 44.1 kHz mono voice: 440 Hz for the first half, 880 Hz for the second.
std::string TwoToneVoice(double seconds) {
    const std::string first = PcmWave(44100, 1, seconds / 2, 440, 0.5);
    const std::string second = PcmWave(44100, 1, seconds / 2, 880, 0.5);
    const size_t header = 44;  // PcmWave: RIFF, fmt and data headers only
    std::string data = first.substr(header) + second.substr(header);
    return Riff(Chunk("fmt ", PcmFormat(44100, 1, 16)) + Chunk("data", data));
}

class SpeedSeekTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mails = FreshFolder("mails");
        renders = FreshFolder("renders");
        player = std::make_unique<RenderedPlayer>(renders + "render.wav");
    }

    std::string Mail(const std::string& voice, const std::string& midi = "",
                     const std::string& schedule = "") {
        const std::string path = mails + "mail" + std::to_string(++count) + ".mvm";
        WriteVoiceMail(path, voice, midi, schedule, true);
        return path;
    }

    std::vector<int16_t> Samples() {
        player->Finish();
        return RenderedSamples(renders + "render.wav");
    }

    bool HaveSoundFont() { return !TWMediaPlayer::SoundFontPath().empty(); }
    PlayerCore& Core() { return *player->core; }

    std::string mails, renders;
    std::unique_ptr<RenderedPlayer> player;
    int count = 0;
};

}  // namespace

TEST_F(SpeedSeekTest, ToneAtTwiceTheSpeedLastsHalfAsLongAtItsOwnPitch) {
    Core().SetSpeed(2.0);
    ASSERT_TRUE(Core().ExecuteMVMFile(Mail(PcmWave(44100, 1, 10.0, 440, 0.5))));
    EXPECT_EQ(Core().Display().progressMaximum, 10000);  // the bar keeps voice-track time
    player->Run(20000);
    ASSERT_EQ(player->listener.ended, 1);
    EXPECT_GE(player->NowMs(), 5000);
    EXPECT_LE(player->NowMs(), 5050);  // the end is seen within one tick

    const std::vector<int16_t> samples = Samples();
    EXPECT_GT(LevelDb(samples, 4900, 4990), -12);
    EXPECT_LT(LevelDb(samples, 5005, 5045), -80);
    EXPECT_NEAR(DominantHz(Slice(Channel(samples, 2), 1, 4, 44100), 44100), 440, 440 * 0.02);
}

TEST_F(SpeedSeekTest, EverySpeedEndsWhenItsShareOfTheTrackHasPlayed) {
    const std::string mail = Mail(PcmWave(22050, 1, 6.0, 300, 0.5));
    for (double speed : PlayerCore::kSpeeds) {
        SCOPED_TRACE(speed);
        player = std::make_unique<RenderedPlayer>(renders + "render.wav");
        Core().SetSpeed(speed);
        ASSERT_TRUE(Core().ExecuteMVMFile(mail));
        player->Run(20000);
        EXPECT_EQ(player->listener.ended, 1);
        EXPECT_NEAR(player->NowMs(), 6000 / speed, 50);
        EXPECT_TRUE(LooseTempFiles().empty());
    }
}

TEST_F(SpeedSeekTest, SpeechAtOneAndAHalfKeepsItsSpectrum) {
    const std::string wav = mails + "speech.wav";
    const std::string command = "espeak-ng -w '" + wav +
                                "' 'Hello, this is a voice message. Please call me back tomorrow "
                                "morning about the meeting at the office.' 2>/dev/null";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "espeak-ng is not installed";
    const std::string mail = Mail(ReadFile(wav));

    double centroid[2], seconds[2];
    const double speeds[2] = {1.0, 1.5};
    for (int i = 0; i < 2; ++i) {
        player = std::make_unique<RenderedPlayer>(renders + "render.wav");
        Core().SetSpeed(speeds[i]);
        ASSERT_TRUE(Core().ExecuteMVMFile(mail));
        player->Run(60000);
        seconds[i] = player->NowMs() / 1000.0;
        const std::vector<double> left = Channel(Samples(), 2);
        centroid[i] = SpectralCentroidHz(left, 44100);
    }
    EXPECT_NEAR(seconds[1], seconds[0] / 1.5, 0.1);
    EXPECT_NEAR(centroid[1], centroid[0], centroid[0] * 0.10) << centroid[0] << " Hz at 1x";
}

TEST_F(SpeedSeekTest, ScheduleAppliesAtItsVoicePositionsAtEverySpeed) {
    const std::vector<std::pair<int, int>> entries = {{0, 9}, {1000, 4}, {2010, 7}, {3000, 2}};
    const std::string mail = Mail(PcmWave(8000, 1, 4.0, 0, 0), "", ScheduleText(entries));
    for (double speed : PlayerCore::kSpeeds) {
        SCOPED_TRACE(speed);
        player = std::make_unique<RenderedPlayer>(renders + "render.wav");
        Core().SetSpeed(speed);
        ASSERT_TRUE(Core().ExecuteMVMFile(mail));
        player->Run(10000);
        const auto& applied = player->listener.applied;
        ASSERT_EQ(applied.size(), entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            // The first tick whose voice position is beyond the entry's time.
            EXPECT_GT(applied[i].positionMs, entries[i].first);
            EXPECT_LE(applied[i].positionMs, entries[i].first + 50 * speed + 1);
            EXPECT_GT(player->listener.appliedAtMs[i] * speed, entries[i].first);
            EXPECT_LE((player->listener.appliedAtMs[i] - 50) * speed, entries[i].first + 1);
        }
    }
}

TEST_F(SpeedSeekTest, TheTunesTempoFollowsTheSpeed) {
    if (!HaveSoundFont()) GTEST_SKIP() << "no General MIDI soundfont";
    Core().SetSpeed(2.0);
    // Notes from 2 s of the tune on: heard from 1 s of the render at 2x.
    ASSERT_TRUE(Core().ExecuteMVMFile(Mail(PcmWave(8000, 1, 3.0, 0, 0), RepeatedNotes(6, 2.0))));
    player->Run(10000);
    const std::vector<int16_t> samples = Samples();
    EXPECT_LT(LevelDb(samples, 100, 950), -70);
    EXPECT_GT(LevelDb(samples, 1050, 1400), -50);
}

TEST_F(SpeedSeekTest, ChangingSpeedWhilePlayingKeepsThePosition) {
    ASSERT_TRUE(Core().ExecuteMVMFile(Mail(PcmWave(22050, 1, 8.0, 300, 0.5))));
    player->Run(1000);
    Core().SetSpeed(2.0);
    EXPECT_EQ(Core().Music().Tempo(), 2.0);
    player->Run(1000);
    EXPECT_NEAR(Core().Display().progress, 3000, 110);
    Core().SetSpeed(1.0);
    player->Run(1000);
    EXPECT_NEAR(Core().Display().progress, 4000, 160);
}

TEST_F(SpeedSeekTest, SeekingTakesTheVolumeOfTheLastEntryBeforeTheTarget) {
    const std::string schedule = ScheduleText({{500, 4}, {1000, 7}, {2000, 2}, {4000, 5}});
    ASSERT_TRUE(
        Core().ExecuteMVMFile(Mail(PcmWave(8000, 1, 6.0, 0, 0), RepeatedNotes(8), schedule)));
    player->Run(200);
    EXPECT_EQ(Core().Music().Volume(), PlayerCore::kStartVolume);

    Core().Seek(2500);  // past three entries
    EXPECT_EQ(Core().Music().Volume(), -3200);
    EXPECT_EQ(Core().ScheduleIndex(), 3);
    EXPECT_EQ(Core().Display().progress, 2500);
    EXPECT_EQ(Core().Display().timeText, "0:02.500");
    player->Run(1000);
    EXPECT_EQ(Core().Music().Volume(), -3200);  // entry 3 lies at 4000
    player->Run(600);
    EXPECT_EQ(Core().Music().Volume(), -2000);
    EXPECT_EQ(Core().ScheduleIndex(), 4);

    Core().Seek(200);  // before the first entry
    EXPECT_EQ(Core().Music().Volume(), PlayerCore::kStartVolume);
    EXPECT_EQ(Core().ScheduleIndex(), 0);
    player->Run(400);
    EXPECT_EQ(Core().Music().Volume(), -2400);  // entry 0 replays at its time
}

// Ticks and jumps cost the same with a long schedule, or one padded with comment
// lines, as with a short one: the schedule is read once when the mail is opened.
TEST_F(SpeedSeekTest, LongOrPaddedSchedulesCostNothingPerTickOrJump) {
    std::vector<std::pair<int, int>> many;
    for (int n = 0; n < 20000; ++n) many.emplace_back(n / 4, 1 + n % 9);
    std::string padded(30u << 20, ';');
    for (size_t at = 79; at < padded.size(); at += 80) padded[at] = '\n';
    padded = "[0]\r\nTime=100\r\nVolume=4\r\n" + padded + "\n[1]\r\nTime=2000\r\nVolume=7\r\n";
    const std::string longMail = Mail(PcmWave(8000, 1, 8.0, 0, 0), "", ScheduleText(many));
    const std::string paddedMail = mails + "padded.mvm";
    WriteVoiceMail(paddedMail, PcmWave(8000, 1, 8.0, 0, 0), "", padded, false);

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Core().ExecuteMVMFile(longMail));
    Core().Seek(4000);  // entries 0..15999 lie before it
    EXPECT_EQ(Core().ScheduleIndex(), 16000);
    EXPECT_EQ(Core().Music().Volume(), VolumeSchedule::LevelToVolume(1 + 15999 % 9));
    player->Run(500);
    EXPECT_EQ(Core().ScheduleIndex(), 16010);  // one entry a tick
    Core().Seek(1000);
    EXPECT_EQ(Core().ScheduleIndex(), 4000);

    ASSERT_TRUE(Core().ExecuteMVMFile(paddedMail));
    player->Run(3000);
    EXPECT_EQ(Core().ScheduleIndex(), 2);
    EXPECT_EQ(Core().Music().Volume(), VolumeSchedule::LevelToVolume(7));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 10);
}

TEST_F(SpeedSeekTest, TheMusicIsHeardAtTheJumpsVolume) {
    if (!HaveSoundFont()) GTEST_SKIP() << "no General MIDI soundfont";
    const std::string schedule = ScheduleText({{500, 4}, {1000, 7}, {2000, 2}});
    ASSERT_TRUE(
        Core().ExecuteMVMFile(Mail(PcmWave(8000, 1, 8.0, 0, 0), RepeatedNotes(10), schedule)));
    player->Run(400);
    Core().Seek(5000);
    player->Run(1000);
    const std::vector<int16_t> samples = Samples();
    // -400 before the jump, -3200 after it: 28 dB apart.
    EXPECT_NEAR(LevelDb(samples, 0, 400) - LevelDb(samples, 650, 1400), 28.0, 2.0);
}

TEST_F(SpeedSeekTest, TheVoiceGoesOnFromTheTarget) {
    for (double speed : {1.0, 2.0}) {
        SCOPED_TRACE(speed);
        player = std::make_unique<RenderedPlayer>(renders + "render.wav");
        Core().SetSpeed(speed);
        ASSERT_TRUE(Core().ExecuteMVMFile(Mail(TwoToneVoice(8.0))));
        player->Run(500);
        Core().Seek(5000);  // into the 880 Hz half
        const int64_t jumpedAt = player->NowMs();
        player->Run(20000);
        EXPECT_NEAR(player->NowMs() - jumpedAt, 3000 / speed, 50);
        const std::vector<double> left = Channel(Samples(), 2);
        EXPECT_NEAR(DominantHz(Slice(left, 0.05, 0.45, 44100), 44100), 440, 9);
        const double after = jumpedAt / 1000.0;
        EXPECT_NEAR(DominantHz(Slice(left, after + 0.05, after + 1.0, 44100), 44100), 880, 18);
    }
}

TEST_F(SpeedSeekTest, SeekingInAnMp3VoiceTrack) {
    const std::string mp3 = LameMp3(kPresets[2], 3.0, mails);
    if (mp3.empty()) GTEST_SKIP() << "lame is not installed";
    ASSERT_TRUE(Core().ExecuteMVMFile(Mail(WrapMp3(mp3, kPresets[2], true))));
    const int64_t length = Core().Display().progressMaximum;
    player->Run(100);
    Core().Seek(1000);
    player->Run(20000);
    EXPECT_NEAR(player->NowMs() - 100, length - 1000, 50);
}

TEST_F(SpeedSeekTest, SeekingNearTheEndEndsCleanly) {
    const std::string schedule = ScheduleText({{500, 4}, {1000, 7}});
    ASSERT_TRUE(
        Core().ExecuteMVMFile(Mail(PcmWave(8000, 1, 3.0, 300, 0.5), RepeatedNotes(4), schedule)));
    player->Run(100);
    Core().Seek(2990);
    player->Run(200);
    EXPECT_EQ(player->listener.ended, 1);
    EXPECT_FALSE(Core().Playing());
    EXPECT_EQ(Core().Display().timeText, PlayerCore::kIdleTime);
    EXPECT_TRUE(LooseTempFiles().empty());

    Core().Seek(1000);  // idle: nothing to jump in
    EXPECT_EQ(Core().Display().progress, 0);
    EXPECT_FALSE(Core().Display().progressTimerEnabled);
}

TEST_F(SpeedSeekTest, SeekingPastTheTunesEndSilencesItAndBackBringsItBack) {
    if (!HaveSoundFont()) GTEST_SKIP() << "no General MIDI soundfont";
    ASSERT_TRUE(Core().ExecuteMVMFile(Mail(PcmWave(8000, 1, 10.0, 0, 0), RepeatedNotes(3))));
    player->Run(500);
    Core().Seek(6000);
    player->Run(500);
    Core().Seek(1000);
    player->Run(500);
    const std::vector<int16_t> samples = Samples();
    EXPECT_GT(LevelDb(samples, 0, 500), -50);
    EXPECT_LT(LevelDb(samples, 650, 1000), -60);  // at most a reverb tail
    EXPECT_GT(LevelDb(samples, 1100, 1500), -50);
}

TEST(MidiTempoMap, TicksFollowEveryTempoChange) {
    // 480 ticks a beat; 120 bpm, then 60 bpm from tick 960 on (in a second track).
    std::string first, second;
    PutVariable(first, 0);
    first += std::string("\xFF\x51\x03\x07\xA1\x20", 6);
    PutVariable(first, 0);
    first += std::string("\xFF\x2F\x00", 3);
    PutVariable(second, 960);
    second += std::string("\xFF\x51\x03\x0F\x42\x40", 6);
    PutVariable(second, 10);
    second += std::string("\x90\x3C\x64", 3);
    PutVariable(second, 10);
    second += std::string("\x3C\x00", 2);  // running status
    PutVariable(second, 0);
    second += std::string("\xFF\x2F\x00", 3);
    std::string file = "MThd";
    for (int byte : {0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0}) file += static_cast<char>(byte);
    for (const std::string* track : {&first, &second}) {
        file += "MTrk";
        for (int shift : {24, 16, 8, 0}) file += static_cast<char>((track->size() >> shift) & 0xFF);
        file += *track;
    }
    const auto map = MidiTempoMap::Read(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    ASSERT_EQ(map.Changes().size(), 2u);
    EXPECT_EQ(map.TickAt(0), 0);
    EXPECT_EQ(map.TickAt(500), 480);
    EXPECT_EQ(map.TickAt(1000), 960);
    EXPECT_EQ(map.TickAt(2000), 1440);

    // Cut short in the middle of the second track: what was read still counts.
    const auto cut =
        MidiTempoMap::Read(reinterpret_cast<const uint8_t*>(file.data()), file.size() - 4);
    EXPECT_EQ(cut.TickAt(2000), 1440);
}

TEST(MidiTempoMap, DamageGivesTheDefaults) {
    const std::string smpte =
        std::string("MThd\0\0\0\6\0\0\0\1\xE7\x28", 14);  // 25 frames of 40 ticks
    const auto map =
        MidiTempoMap::Read(reinterpret_cast<const uint8_t*>(smpte.data()), smpte.size());
    EXPECT_EQ(map.TickAt(1000), 1000);
    for (const std::string& bad :
         {std::string("RIFF"), std::string("MThd\0\0\0\2", 8), std::string()}) {
        const auto fallback =
            MidiTempoMap::Read(reinterpret_cast<const uint8_t*>(bad.data()), bad.size());
        EXPECT_EQ(fallback.TickAt(1000), 960);
    }
}
