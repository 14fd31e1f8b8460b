// The background tune's loudness: at volume 0 a General MIDI tune plays at about
// -18 dBFS RMS, so the schedule's levels (hundredths of a decibel below that) mean
// what the speaker heard while recording over it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "PlayTestFiles.h"
#include "RenderOutput.h"
#include "TestFiles.h"
#include "WMediaPlayer.h"

namespace murmel::test {
namespace {

// Level of the sounding part of a rendered tune: 100 ms windows quieter than
// -60 dBFS (the rests and the tail) do not count.
double SoundingLevelDb(const std::vector<int16_t>& samples) {
    const size_t window = 4410 * 2;
    double sum = 0;
    size_t counted = 0;
    for (size_t at = 0; at + window <= samples.size(); at += window) {
        double energy = 0;
        for (size_t i = at; i < at + window; ++i) energy += double(samples[i]) * samples[i];
        if (10 * std::log10(energy / window + 1e-9) - 20 * std::log10(32768.0) < -60) continue;
        sum += energy;
        counted += window;
    }
    if (counted == 0) return -200;
    return 10 * std::log10(sum / double(counted)) - 20 * std::log10(32768.0);
}

// A General MIDI tune of our own: piano chords over a bass line, mezzo-forte.
std::string WriteChordTune() {
    std::string track;
    auto event = [&](uint8_t delta, std::initializer_list<uint8_t> bytes) {
        track.push_back(static_cast<char>(delta));
        for (uint8_t b : bytes) track.push_back(static_cast<char>(b));
    };
    event(0, {0xC0, 0});   // piano
    event(0, {0xC1, 32});  // acoustic bass
    const uint8_t roots[] = {60, 65, 67, 60, 57, 62, 67, 60};
    for (uint8_t root : roots) {
        event(0, {0x90, root, 90});
        event(0, {0x90, uint8_t(root + 4), 90});
        event(0, {0x90, uint8_t(root + 7), 90});
        event(0, {0x91, uint8_t(root - 24), 100});
        event(0x83, {0x60, 0x80, root,
                     0});  // 480 ticks later (one half note at 120 bpm, 480 per quarter = 0.5 s)
        event(0, {0x80, uint8_t(root + 4), 0});
        event(0, {0x80, uint8_t(root + 7), 0});
        event(0, {0x81, uint8_t(root - 24), 0});
    }
    event(0, {0xFF, 0x2F, 0x00});
    std::string midi = std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0", 14) + "MTrk";
    const uint32_t size = static_cast<uint32_t>(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) midi.push_back(static_cast<char>(size >> shift));
    const std::string path = FreshFolder("chord-tune") + "chords.mid";
    WriteFile(path, midi + track);
    return path;
}

double RenderTuneLevel(const std::string& tune, int32_t volume, int64_t ms) {
    const std::string path = FreshFolder("music-level") + "tune.wav";
    {
        RenderOutput output(path);
        TWMediaPlayer music(output);
        music.SetFileName(tune);
        music.SetVolume(volume);
        music.Play();
        output.OutputClock().WaitUntilMs(ms);
        music.Stop();
        output.Finish();
    }
    return SoundingLevelDb(RenderedSamples(path));
}

TEST(MusicLevel, TuneAtFullVolumeIsNearMinus18DbFs) {
    if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
    const double level =
        RenderTuneLevel(std::string(MURMEL_TEST_DATA) + "/valid/play-organ.mid", 0, 8000);
    EXPECT_NEAR(level, -18.0, 4.0);
    RecordProperty("level_dbfs", std::to_string(level));
}

TEST(MusicLevel, OurOwnChordTuneIsNearMinus18DbFsToo) {
    if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
    EXPECT_NEAR(RenderTuneLevel(WriteChordTune(), 0, 4000), -18.0, 4.0);
}

TEST(MusicLevel, ScheduleLevelsLowerTheTuneByTheirDecibels) {
    if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
    const std::string tune = std::string(MURMEL_TEST_DATA) + "/valid/play-organ.mid";
    const double full = RenderTuneLevel(tune, 0, 4000);
    const double level8 = RenderTuneLevel(tune, -800, 4000);  // the slider at 80..89
    EXPECT_NEAR(full - level8, 8.0, 0.5);
}

}  // namespace
}  // namespace murmel::test
