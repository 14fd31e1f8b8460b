// The voice and music devices on the offline renderer and the null output.
#include <gtest/gtest.h>

#include <chrono>

#include "CompletionSound.h"
#include "NullOutput.h"
#include "PlayTestFiles.h"
#include "RenderOutput.h"
#include "VoiceDevice.h"
#include "WMediaPlayer.h"

using namespace murmel;
using namespace murmel::test;

namespace {

struct Renderer {
    Renderer() : folder(FreshFolder("devices")), output(folder + "render.wav") {}
    void RenderMs(int64_t ms) { output.OutputClock().WaitUntilMs(output.OutputClock().NowMs() + ms); }
    std::vector<int16_t> Samples() {
        output.Finish();
        return RenderedSamples(folder + "render.wav");
    }
    std::string folder;
    RenderOutput output;
};

std::string Errors(VoiceDevice& device, const std::string& path) {
    try {
        device.Open(path);
    } catch (const EMCIDeviceError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(VoiceDevice, PcmTrackPlaysItsLengthAndStopsOnceHeard) {
    Renderer renderer;
    const std::string path = renderer.folder + "voice.wav";
    WriteFile(path, PcmWave(8000, 1, 1.0, 1000, 0.5, true));
    VoiceDevice voice(renderer.output);
    EXPECT_EQ(voice.Mode(), mpNotReady);
    voice.Open(path);
    EXPECT_EQ(voice.Length(), 1000);
    EXPECT_EQ(voice.Mode(), mpStopped);
    voice.Play();
    EXPECT_EQ(voice.Mode(), mpPlaying);
    renderer.RenderMs(500);
    EXPECT_EQ(voice.Position(), 500);
    EXPECT_EQ(voice.Mode(), mpPlaying);
    renderer.RenderMs(499);
    EXPECT_EQ(voice.Mode(), mpPlaying);
    renderer.RenderMs(2);
    EXPECT_EQ(voice.Mode(), mpStopped);
    EXPECT_EQ(voice.Position(), 1000);
    voice.Close();
    EXPECT_EQ(voice.Mode(), mpNotReady);
    EXPECT_EQ(voice.Position(), 0);
    const std::vector<int16_t> samples = renderer.Samples();
    EXPECT_NEAR(LevelDb(samples, 100, 900), -9.0, 0.5);  // a sine at half scale
    EXPECT_EQ(LevelDb(samples, 1010, 1500), -200);
}

TEST(VoiceDevice, RefusesWhatItCannotPlayWithReadableText) {
    Renderer renderer;
    VoiceDevice voice(renderer.output);
    EXPECT_EQ(Errors(voice, renderer.folder + "absent.mp3"), VoiceDevice::kFileNotFound);
    WriteFile(renderer.folder + "empty.mp3", "");
    EXPECT_EQ(Errors(voice, renderer.folder + "empty.mp3"), VoiceDevice::kCannotPlay);
    WriteFile(renderer.folder + "text.mp3", std::string(5000, 'x'));
    EXPECT_EQ(Errors(voice, renderer.folder + "text.mp3"), VoiceDevice::kCannotPlay);
    WriteFile(renderer.folder + "adpcm.wav", Riff(Chunk("fmt ", "\x02\0\x01\0\x40\x1F\0\0\0\0\0\0\0\0\x04\0") +
                                                  Chunk("data", "abcd")));
    EXPECT_EQ(Errors(voice, renderer.folder + "adpcm.wav"), VoiceDevice::kCannotPlay);
    WriteFile(renderer.folder + "noise.wav", WrapMp3(std::string(3000, '\x11'), kPresets[0], true));
    EXPECT_EQ(Errors(voice, renderer.folder + "noise.wav"), VoiceDevice::kCannotPlay);
    EXPECT_EQ(voice.Mode(), mpNotReady);
    std::filesystem::create_directory(renderer.folder + "folder.mp3");
    EXPECT_NE(Errors(voice, renderer.folder + "folder.mp3"), "");
}

TEST(VoiceDevice, EmptyRecordingPlaysForNoTime) {
    // A recording that caught nothing holds four zero bytes of data.
    Renderer renderer;
    WriteFile(renderer.folder + "nothing.wav", WrapMp3(std::string(4, '\0'), kPresets[1], true));
    VoiceDevice voice(renderer.output);
    voice.Open(renderer.folder + "nothing.wav");
    EXPECT_EQ(voice.Length(), 0);
    voice.Play();
    renderer.RenderMs(50);
    EXPECT_EQ(voice.Mode(), mpStopped);
}

TEST(VoiceDevice, NullOutputKeepsRealTimePace) {
    const std::string folder = FreshFolder("null");
    WriteFile(folder + "voice.wav", PcmWave(8000, 1, 0.3, 0, 0));
    NullOutput output;
    VoiceDevice voice(output);
    voice.Open(folder + "voice.wav");
    const auto start = std::chrono::steady_clock::now();
    voice.Play();
    int64_t next = output.OutputClock().NowMs();
    while (voice.Mode() == mpPlaying) {
        next += 50;
        output.OutputClock().WaitUntilMs(next);
        ASSERT_LT(next, 10000) << "the track never ended";
    }
    // It cannot end before its sound would have been heard.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
    EXPECT_EQ(voice.Position(), 300);
}

TEST(CompletionSound, PlaysWithoutWaitingAndIgnoresBadFiles) {
    const std::string folder = FreshFolder("notify");
    WriteFile(folder + "notify.wav", PcmWave(22050, 1, 0.2, 880, 0.3));
    NullOutput output;
    CompletionSound sound(output);
    EXPECT_TRUE(sound.Play(folder + "notify.wav"));
    EXPECT_TRUE(sound.Playing());
    EXPECT_FALSE(sound.Play(folder + "absent.wav"));
    EXPECT_FALSE(sound.Playing());
}

class MusicDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
        tune = renderer.folder + "tune.mid";
        WriteFile(tune, MidiTune(5));
    }
    Renderer renderer;
    std::string tune;
};

TEST_F(MusicDevice, VolumeIsInHundredthsOfADecibel) {
    TWMediaPlayer music(renderer.output);
    music.SetFileName(tune);
    music.Play();
    renderer.RenderMs(1000);
    music.SetVolume(-2000);
    renderer.RenderMs(1000);
    music.SetVolume(-600);
    renderer.RenderMs(1000);
    music.SetMute(true);
    renderer.RenderMs(500);
    music.SetMute(false);
    renderer.RenderMs(500);
    const std::vector<int16_t> samples = renderer.Samples();
    const double full = LevelDb(samples, 500, 1000);
    EXPECT_GT(full, -40);
    EXPECT_NEAR(LevelDb(samples, 1500, 2000) - full, -20.0, 1.0);
    EXPECT_NEAR(LevelDb(samples, 2500, 3000) - full, -6.0, 1.0);
    EXPECT_EQ(LevelDb(samples, 3001, 3500), -200);
    EXPECT_NEAR(LevelDb(samples, 3500, 4000) - full, -6.0, 1.5);
}

TEST_F(MusicDevice, StopSilencesAndEmptyNameUnloads) {
    TWMediaPlayer music(renderer.output);
    music.SetFileName(tune);
    music.Play();
    EXPECT_TRUE(music.Playing());
    renderer.RenderMs(500);
    music.Stop();
    renderer.RenderMs(500);
    music.SetFileName("");
    EXPECT_EQ(music.FileName(), "");
    EXPECT_NO_THROW(music.Play());  // nothing loaded: nothing to do
    EXPECT_FALSE(music.Playing());
    renderer.RenderMs(100);
    const std::vector<int16_t> samples = renderer.Samples();
    EXPECT_GT(LevelDb(samples, 200, 500), -40);
    EXPECT_EQ(LevelDb(samples, 510, 1100), -200);
}

TEST_F(MusicDevice, TuneThatIsNotMidiIsAnErrorOnPlay) {
    TWMediaPlayer music(renderer.output);
    WriteFile(renderer.folder + "song.mid", std::string(2000, 'z'));
    music.SetFileName(renderer.folder + "song.mid");
    EXPECT_EQ(music.FileName(), renderer.folder + "song.mid");
    EXPECT_THROW(music.Play(), EWMediaPlayerError);
    music.SetFileName(renderer.folder + "absent.mid");
    EXPECT_THROW(music.Play(), EWMediaPlayerError);
    WriteFile(renderer.folder + "empty.mid", "");
    music.SetFileName(renderer.folder + "empty.mid");
    EXPECT_THROW(music.Play(), EWMediaPlayerError);
    EXPECT_FALSE(music.Playing());
}

TEST_F(MusicDevice, VolumeStaysWithinTheControlsRange) {
    TWMediaPlayer music(renderer.output);
    music.SetVolume(500);
    EXPECT_EQ(music.Volume(), 0);
    music.SetVolume(-20000);
    EXPECT_EQ(music.Volume(), TWMediaPlayer::kQuietest);
}

TEST_F(MusicDevice, SoundFontFromTheEnvironmentComesFirst) {
    setenv("MURMEL_SOUNDFONT", tune.c_str(), 1);
    EXPECT_EQ(TWMediaPlayer::SoundFontPath(), tune);
    setenv("MURMEL_SOUNDFONT", (renderer.folder + "absent.sf2").c_str(), 1);
    const std::string fallback = TWMediaPlayer::SoundFontPath();
    EXPECT_NE(fallback, "");
    EXPECT_NE(fallback, renderer.folder + "absent.sf2");
    unsetenv("MURMEL_SOUNDFONT");
    EXPECT_EQ(TWMediaPlayer::SoundFontPath(), fallback);
}

TEST(VoiceDevice, ValidDataFilesPlayToTheirEnd) {
    Renderer renderer;
    const std::string folder = std::string(MURMEL_TEST_DATA) + "/valid/";
    int played = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("play-riff", 0) != 0) continue;
        VoiceDevice voice(renderer.output);
        voice.Open(entry.path().string());
        EXPECT_GT(voice.Length(), 0) << name;
        voice.Play();
        for (int tick = 0; tick < 100 && voice.Mode() == mpPlaying; ++tick) renderer.RenderMs(50);
        EXPECT_EQ(voice.Mode(), mpStopped) << name;
        EXPECT_EQ(voice.Position(), voice.Length()) << name;
        ++played;
    }
    EXPECT_EQ(played, 3);
}

TEST_F(MusicDevice, CommittedTunePlays) {
    TWMediaPlayer music(renderer.output);
    music.SetFileName(std::string(MURMEL_TEST_DATA) + "/valid/play-organ.mid");
    music.Play();
    renderer.RenderMs(800);
    EXPECT_GT(LevelDb(renderer.Samples(), 200, 800), -40);
}

TEST(VoiceDevice, FastTrackRendersPastItsEnd) {
    // A source faster than the output steps over its last frame: the renderer must
    // not trim its buffer beyond what it holds (found by fuzzing).
    Renderer renderer;
    WriteFile(renderer.folder + "fast.wav", PcmWave(96000, 1, 0.1, 440, 0.5));
    VoiceDevice voice(renderer.output);
    voice.Open(renderer.folder + "fast.wav");
    voice.Play();
    renderer.RenderMs(300);
    EXPECT_EQ(voice.Mode(), mpStopped);
    EXPECT_EQ(voice.Position(), 100);
}
