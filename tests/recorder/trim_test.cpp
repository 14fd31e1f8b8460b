// Trimming a recording: the cut voice track's length, its clean ends and its timing,
// and a voice mail whose tune and schedule follow the voice to its new start.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <vector>

#include "PlayTestFiles.h"
#include "PresetsStore.h"
#include "RecordingTrim.h"
#include "RenderHarness.h"
#include "TestFiles.h"
#include "VoiceTrackEncoder.h"
#include "VoiceTrackReader.h"
#include "WMediaPlayer.h"

namespace murmel::test {
namespace {

// A recorder-made voice track of a 440 Hz tone whose loudness steps from 0.2 to 0.6
// at `stepMs`, so where a piece of it came from can be seen in the cut.
void WriteToneTrack(const std::string& path, const std::vector<uint8_t>& format, int rate,
                    int channels, int64_t lengthMs, int64_t stepMs) {
    VoiceTrackEncoder encoder(path, format, rate, channels);
    std::vector<int16_t> samples;
    for (int64_t i = 0; i < lengthMs * rate / 1000; ++i) {
        const double amplitude = i < stepMs * rate / 1000 ? 0.2 : 0.6;
        const auto value = static_cast<int16_t>(
            std::lrint(amplitude * 32767 * std::sin(2 * M_PI * 440.0 * double(i) / rate)));
        for (int c = 0; c < channels; ++c) samples.push_back(value);
    }
    encoder.Put(samples.data(), samples.size());
    encoder.Finish();
}

std::vector<float> Decoded(const std::string& path, int* rate) {
    VoiceTrackReader reader(path);
    *rate = reader.SampleRate();
    std::vector<float> all(static_cast<size_t>(reader.TotalFrames() * reader.Channels()));
    all.resize(reader.Read(all.data(), static_cast<size_t>(reader.TotalFrames())) *
               static_cast<size_t>(reader.Channels()));
    std::vector<float> first;  // the first channel
    for (size_t i = 0; i < all.size(); i += static_cast<size_t>(reader.Channels()))
        first.push_back(all[i]);
    return first;
}

double Rms(const std::vector<float>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

// Where the tone first grows louder than its quiet part could be.
double StepMs(const std::vector<float>& s, int rate) {
    const size_t window = static_cast<size_t>(rate / 200);
    for (size_t i = 0; i + window < s.size(); i += static_cast<size_t>(rate / 2000))
        if (Rms(s, i, i + window) > 0.25) return double(i) * 1000 / rate;
    return -1;
}

struct ToneCase {
    const char* name;
    std::vector<uint8_t> format;
    int rate, channels, frameSamples;
};

TEST(Trim, ToneRecordingCutAtKnownTimesHasItsLengthCleanEndsAndItsTiming) {
    const std::vector<ToneCase> cases = {
        {"PCM", {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0}, 44100, 2, 1},
        {"2K", StandardPreset("2K"), 16000, 1, 576},
        {"8K", StandardPreset("8K"), 44100, 2, 1152},
    };
    for (const ToneCase& tone : cases) {
        SCOPED_TRACE(tone.name);
        const std::string folder = FreshFolder(std::string("trim-tone-") + tone.name);
        WriteToneTrack(folder + "in.mp3", tone.format, tone.rate, tone.channels, 6000, 3000);
        TrimRecording(folder + "in.mp3", folder + "out.mp3", 1000, 4500);

        VoiceTrackReader out(folder + "out.mp3");
        EXPECT_EQ(out.FormatRecord(), VoiceTrackReader(folder + "in.mp3").FormatRecord());
        int rate = 0;
        const std::vector<float> cut = Decoded(folder + "out.mp3", &rate);
        const auto wanted = static_cast<double>(3500 * rate / 1000);
        EXPECT_LE(std::abs(double(cut.size()) - wanted), tone.frameSamples);

        // No jump from silence at the start or to it at the end: steps between
        // neighbouring samples stay those of the tone at its loudest.
        const double toneStep = 0.6 * 2 * M_PI * 440.0 / rate;
        double largest = 0;
        for (size_t i = 1; i < cut.size(); ++i)
            largest = std::max(largest, double(std::abs(cut[i] - cut[i - 1])));
        largest = std::max({largest, double(std::abs(cut.front())), double(std::abs(cut.back()))});
        EXPECT_LT(largest, 1.5 * toneStep + 0.01);

        // The loudness step lies 1000 ms earlier in the cut than in the original.
        int inRate = 0;
        const std::vector<float> original = Decoded(folder + "in.mp3", &inRate);
        const double stepIn = StepMs(original, inRate);
        EXPECT_NEAR(StepMs(cut, rate), stepIn - 1000, 3);
    }
}

// A tune at 240 beats a minute (not the default tempo) on an organ: a low note for
// the first 4.5 s, a high one from 5 s to 8 s.
std::string TwoNoteTune() {
    std::string track;
    auto event = [&](uint32_t delta, const std::string& bytes) {
        PutVariable(track, delta);
        track += bytes;
    };
    event(0, std::string("\xFF\x51\x03\x03\xD0\x90", 6));  // 250000 us a beat: 1920 ticks a second
    event(0, std::string("\xC0\x13", 2));
    event(0, std::string("\x90\x30\x64", 3));
    event(1920 * 9 / 2, std::string("\x80\x30\x00", 3));
    event(1920 / 2, std::string("\x90\x48\x64", 3));
    event(1920 * 3, std::string("\x80\x48\x00", 3));
    event(0, std::string("\xFF\x2F\x00", 3));
    std::string file = std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0", 14) + "MTrk";
    for (int shift : {24, 16, 8, 0}) file += static_cast<char>((track.size() >> shift) & 0xFF);
    return file + track;
}

TEST(Trim, VoiceMailCutInTheMiddleReplaysTuneAndScheduleFromTheCut) {
    if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
    const std::string folder = FreshFolder("trim-mail");
    {  // a silent voice, so the render holds the music alone
        VoiceTrackEncoder encoder(folder + "voice.mp3", StandardPreset("2K"), 16000, 1);
        const std::vector<int16_t> silence(16000 * 8);
        encoder.Put(silence.data(), silence.size());
        encoder.Finish();
    }
    WriteVoiceMail(folder + "in.mvm", ReadFile(folder + "voice.mp3"), TwoNoteTune(),
                   ScheduleText({{0, 9}, {2000, 3}, {6000, 9}}), true);
    TrimRecording(folder + "in.mvm", folder + "out.mvm", 4000, 8000);

    RenderedPlayer player(folder + "render.wav");
    ASSERT_TRUE(player.core->ExecuteMVMFile(folder + "out.mvm"));
    player.Run(4000);
    player.Finish();
    const std::vector<int16_t> samples = RenderedSamples(folder + "render.wav");
    // Level 3 (in force at the cut) until 2 s, then level 9: 24 dB louder.
    EXPECT_NEAR(LevelDb(samples, 2300, 3500) - LevelDb(samples, 1200, 1900), 24, 4);
    // The low note held across the cut sounds at the start, the rest after it at the
    // tune's own tempo (0.5 s on), and the high note from 1 s on.
    EXPECT_GT(LevelDb(samples, 100, 400), -50);
    EXPECT_LT(LevelDb(samples, 700, 900), LevelDb(samples, 100, 400) - 20);
    EXPECT_GT(LevelDb(samples, 1100, 1900), -50);
}

TEST(Trim, RefusesTheRecordingItselfAsTargetAndWhatIsNoRecording) {
    const std::string folder = FreshFolder("trim-self");
    WriteToneTrack(folder + "in.mp3", StandardPreset("2K"), 16000, 1, 1000, 500);
    const std::string before = ReadFile(folder + "in.mp3");
    EXPECT_THROW(TrimRecording(folder + "in.mp3", folder + "./in.mp3", 100, 500),
                 std::invalid_argument);
    EXPECT_EQ(ReadFile(folder + "in.mp3"), before);

    WriteFile(folder + "notes.mp3", "just some text, not a recording\n");
    try {
        TrimRecording(folder + "notes.mp3", folder + "out.mp3", 0, 500);
        ADD_FAILURE() << "a text file was trimmed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), ("Cannot trim " + folder +
                                    "notes.mp3: Not a voice mail or a recording").c_str());
    }
    EXPECT_NE(access((folder + "out.mp3").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace murmel::test
