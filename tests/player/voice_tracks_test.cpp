// Voice tracks in every preset's format, made with lame and wrapped as the
// recorder and other tools wrap them, play to their full length.
#include <gtest/gtest.h>

#include "PlayTestFiles.h"
#include "RenderHarness.h"
#include "VoiceDevice.h"

using namespace murmel;
using namespace murmel::test;

namespace {

struct TrackCase {
    const Mp3Preset* preset;
    bool recorderOrder;
};

class VoiceTracks : public ::testing::TestWithParam<TrackCase> {};

// MPEG frames hold 1152 samples (576 below 32 kHz); the encoder adds its delay and
// pads the last frame, so a track without a tag frame is a little longer.
constexpr int64_t kSlackMs = 200;

}  // namespace

TEST_P(VoiceTracks, PlayToTheirFullLength) {
    const TrackCase& track = GetParam();
    const std::string folder = FreshFolder("tracks");
    const std::string mp3 = LameMp3(*track.preset, 3.0, folder);
    ASSERT_FALSE(mp3.empty()) << "lame failed";
    const std::string mail = folder + "voice.mvm";
    WriteVoiceMail(mail, WrapMp3(mp3, *track.preset, track.recorderOrder), "", ScheduleText({{0, 5}}), true);

    RenderedPlayer player(folder + "render.wav");
    ASSERT_TRUE(player.core->ExecuteMVMFile(mail));
    const int64_t length = player.core->Voice().Length();
    EXPECT_GE(length, 3000);
    EXPECT_LE(length, 3000 + kSlackMs);
    int64_t lastPosition = 0;
    while (player.core->Display().progressTimerEnabled && player.NowMs() < 10000) {
        lastPosition = player.core->Voice().Position();
        player.Run(50);
    }
    EXPECT_EQ(player.listener.ended, 1);
    EXPECT_GE(lastPosition, length - 50);
    EXPECT_GE(player.NowMs(), length);
    EXPECT_LE(player.NowMs(), length + 50);
    player.Finish();
    const std::vector<int16_t> samples = RenderedSamples(folder + "render.wav");
    EXPECT_GT(LevelDb(samples, 500, 2500), -15);  // the tone is there throughout
    EXPECT_GT(LevelDb(samples, 2700, 2900), -15);
    EXPECT_TRUE(LooseTempFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Presets, VoiceTracks,
    ::testing::Values(TrackCase{&kPresets[0], true}, TrackCase{&kPresets[0], false},
                      TrackCase{&kPresets[1], true}, TrackCase{&kPresets[1], false},
                      TrackCase{&kPresets[2], true}, TrackCase{&kPresets[2], false},
                      TrackCase{&kPresets[3], true}, TrackCase{&kPresets[3], false}),
    [](const auto& info) {
        return std::string("Preset") + info.param.preset->name +
               (info.param.recorderOrder ? "_FactAfterData" : "_FactAndListBeforeData");
    });

TEST(VoiceTrack, PlainMp3PlaysAndShortTrackEndsCleanly) {
    const std::string folder = FreshFolder("plain");
    const std::string mp3 = LameMp3(kPresets[3], 1.0, folder);
    ASSERT_FALSE(mp3.empty());
    WriteFile(folder + "plain.mp3", mp3);
    RenderOutput output(folder + "render.wav");
    VoiceDevice voice(output);
    voice.Open(folder + "plain.mp3");
    EXPECT_GE(voice.Length(), 1000);
    EXPECT_LE(voice.Length(), 1000 + kSlackMs);
    voice.Play();
    int64_t tick = 0;
    while (voice.Mode() == mpPlaying && tick < 5000) output.OutputClock().WaitUntilMs(tick += 50);
    EXPECT_EQ(voice.Mode(), mpStopped);
    EXPECT_LE(tick, voice.Length() + 50);
    EXPECT_EQ(voice.Position(), voice.Length());
}
