// Export of a voice mail to one plain MP3, checked as any other program sees the
// file: decoded and probed with ffmpeg.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>

#include "PlayTestFiles.h"
#include "SignalMeasures.h"
#include "VoiceMailExport.h"
#include "WMediaPlayer.h"

using namespace murmel;
using namespace murmel::test;

namespace {

const std::string kCli = std::string(MURMEL_PROGRAM_DIR) + "murmel-cli";

std::string Output(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
    const int result = pclose(pipe);
    if (status) *status = WEXITSTATUS(result);
    return out;
}

bool HaveFfmpeg() { return Output("ffmpeg -version >/dev/null && echo yes") == "yes\n"; }

// The MP3 decoded by ffmpeg at its own rate, one channel.
std::vector<double> Decoded(const std::string& mp3) {
    const std::string raw = mp3 + ".raw";
    Output("ffmpeg -v error -y -i '" + mp3 + "' -ac 1 -f s16le '" + raw + "'");
    const std::string bytes = ReadFile(raw);
    std::vector<double> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                               (static_cast<uint8_t>(bytes[i + 1]) << 8)) /
                          32768.0);
    return samples;
}

std::string Probe(const std::string& mp3, const std::string& entries) {
    std::string out = Output("ffprobe -v error -show_entries " + entries +
                             " -of default=noprint_wrappers=1:nokey=1 '" + mp3 + "'");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

double Level(const std::vector<double>& samples, int rate, double fromS, double toS) {
    const std::vector<double> part = Slice(samples, fromS, toS, rate);
    double sum = 0;
    for (double value : part) sum += value * value;
    return part.empty() || sum == 0 ? -200
                                    : 10 * std::log10(sum / static_cast<double>(part.size()));
}

class ExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
        folder = FreshFolder("export");
    }
    std::string folder;
};

}  // namespace

TEST_F(ExportTest, LengthIsTheVoiceTracksAtEverySpeedWithTitleAndOwnFormat) {
    WriteVoiceMail(folder + "Grüße.mvm", PcmWave(22050, 1, 6.0, 300, 0.5), MidiTune(8), "", true);
    for (double speed : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(speed);
        const std::string mp3 = folder + "out.mp3";
        ExportOptions options;
        options.speed = speed;
        ExportVoiceMail(folder + "Grüße.mvm", mp3, options);
        EXPECT_EQ(Probe(mp3, "format=format_name"), "mp3");
        EXPECT_EQ(Probe(mp3, "stream=sample_rate,channels"), "22050\n1");
        EXPECT_GE(std::stoi(Probe(mp3, "stream=bit_rate")), kMinimumKbps * 1000);
        EXPECT_EQ(Probe(mp3, "format_tags=title"), "Grüße");
        EXPECT_NEAR(static_cast<double>(Decoded(mp3).size()), 6.0 * 22050 / speed, 22);  // ±1 ms
    }
}

TEST_F(ExportTest, ThePresetSetsTheFormat) {
    WriteVoiceMail(folder + "a.mvm", PcmWave(44100, 2, 2.0, 300, 0.5), "", "", true);
    ExportOptions options;
    options.preset = "2K";
    ExportVoiceMail(folder + "a.mvm", folder + "a.mp3", options);
    EXPECT_EQ(Probe(folder + "a.mp3", "stream=sample_rate,channels,bit_rate"), "16000\n1\n16000");
    options.preset = "3K";
    EXPECT_THROW(ExportVoiceMail(folder + "a.mvm", folder + "b.mp3", options),
                 std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(folder + "b.mp3"));
}

TEST_F(ExportTest, TheVoiceIsThere) {
    const std::string wav = folder + "speech.wav";
    if (std::system(("espeak-ng -w '" + wav + "' 'This is a voice message for you.' 2>/dev/null")
                        .c_str()) != 0)
        GTEST_SKIP() << "espeak-ng is not installed";
    const std::string voice = ReadFile(wav);
    ASSERT_EQ(Probe(wav, "stream=sample_rate"), "22050");
    WriteVoiceMail(folder + "speech.mvm", voice, "", "", true);
    ExportVoiceMail(folder + "speech.mvm", folder + "speech.mp3", {});

    std::vector<int16_t> pcm(voice.size() / 2 - 22);
    std::memcpy(pcm.data(), voice.data() + 44, pcm.size() * 2);
    const std::vector<double> original = Slice(Channel(pcm, 1), 0.2, 1.8, 22050);
    const std::vector<double> exported = Slice(Decoded(folder + "speech.mp3"), 0.2, 1.8, 22050);
    EXPECT_GT(BestCorrelation(original, exported, 40), 0.9);
}

TEST_F(ExportTest, TheMusicLevelMovesAtTheScheduleTimesByTheLevelsAmounts) {
    if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
    // Levels 9, 4, 7, 2: -4, -24, -12, -32 dB.
    WriteVoiceMail(folder + "m.mvm", PcmWave(44100, 1, 4.0, 0, 0), MidiTune(6),
                   ScheduleText({{0, 9}, {1000, 4}, {2010, 7}, {3000, 2}}), true);
    for (double speed : {1.0, 2.0}) {
        SCOPED_TRACE(speed);
        ExportOptions options;
        options.speed = speed;
        ExportVoiceMail(folder + "m.mvm", folder + "m.mp3", options);
        const std::vector<double> music = Decoded(folder + "m.mp3");
        auto at = [&](double from, double to) {
            return Level(music, 44100, from / speed, to / speed);
        };
        const double first = at(0.6, 1.0);
        EXPECT_GT(first, -50);
        EXPECT_NEAR(at(1.3, 2.0) - first, -20.0, 1.5);
        EXPECT_NEAR(at(2.3, 2.9) - first, -8.0, 1.5);
        EXPECT_NEAR(at(3.3, 3.9) - first, -28.0, 1.5);
    }
}

TEST_F(ExportTest, ProgressReachesTheEndAndCancellingLeavesNothing) {
    WriteVoiceMail(folder + "p.mvm", PcmWave(8000, 1, 3.0, 300, 0.5), "", "", true);
    int64_t last = -1, total = 0;
    ExportVoiceMail(folder + "p.mvm", folder + "p.mp3", {}, [&](int64_t done, int64_t all) {
        EXPECT_GE(done, last);
        last = done;
        total = all;
        return true;
    });
    EXPECT_EQ(total, 3000);
    EXPECT_EQ(last, 3000);

    std::filesystem::remove(folder + "p.mp3");
    int calls = 0;
    EXPECT_THROW(ExportVoiceMail(folder + "p.mvm", folder + "p.mp3", {},
                                 [&](int64_t, int64_t) { return ++calls < 10; }),
                 EExportCancelled);
    EXPECT_EQ(calls, 10);
    size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        left += entry.path().filename() != "p.mvm";
    EXPECT_EQ(left, 0u);
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST_F(ExportTest, BadInputExitsOneAndWritesNothing) {
    WriteFile(folder + "bad.mvm", "not a voice mail");
    WriteFile(folder + "kept.mp3", "the user's own file");
    int status = 0;
    std::string out =
        Output("'" + kCli + "' export '" + folder + "bad.mvm' '" + folder + "kept.mp3'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("Not a voice mail or a recording"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(folder + "kept.mp3"), "the user's own file");

    // A few bytes claiming hours of sound at 1 Hz: refused, not rendered.
    out = Output("'" + kCli + "' export '" + MURMEL_TEST_DATA + "/invalid/play-pcm-1-hz.mvm' '" +
                     folder + "bomb.mp3'",
                 &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("Unsupported sample rate 1 Hz"), std::string::npos) << out;

    out = Output("'" + kCli + "' export '" + folder + "absent.mvm' '" + folder + "x.mp3'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("Cannot export"), std::string::npos) << out;

    WriteVoiceMail(folder + "good.mvm", PcmWave(8000, 1, 0.5, 300, 0.5), "", "", true);
    out = Output("'" + kCli + "' export '" + folder + "good.mvm' '" + folder + "no/such/x.mp3'",
                 &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find(folder + "no/such/x.mp3"), std::string::npos) << out;
    std::filesystem::create_directory(folder + "folder.mp3");
    EXPECT_EQ((Output("'" + kCli + "' export '" + folder + "good.mvm' '" + folder + "folder.mp3'",
                      &status),
               status),
              1);

    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 3u);  // bad.mvm, kept.mp3, good.mvm: no temporary file left behind
    EXPECT_TRUE(LooseTempFiles().empty());

    // Neither the voice mail itself, under any name, nor what is not a regular file.
    const std::string good = ReadFile(folder + "good.mvm");
    std::filesystem::create_hard_link(folder + "good.mvm", folder + "same.mp3");
    std::filesystem::create_symlink("/dev/stdout", folder + "stdout.mp3");
    for (const std::string& target : {folder + "good.mvm", folder + "same.mp3",
                                      folder + "stdout.mp3", std::string("/dev/stdout")}) {
        out = Output("'" + kCli + "' export '" + folder + "good.mvm' '" + target + "'", &status);
        EXPECT_EQ(status, 1) << target;
        EXPECT_NE(out.find(target), std::string::npos) << out;
    }
    EXPECT_EQ(ReadFile(folder + "good.mvm"), good);
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "stdout.mp3"));
    EXPECT_TRUE(std::filesystem::is_symlink("/dev/stdout"));

    EXPECT_EQ((Output("'" + kCli + "' export a.mvm b.mp3 --speed 3", &status), status), 2);
    EXPECT_EQ((Output("'" + kCli + "' export a.mvm b.mp3 --preset 5K", &status), status), 2);
    EXPECT_EQ((Output("'" + kCli + "' export a.mvm", &status), status), 2);
    EXPECT_EQ((Output("'" + kCli + "' export '" + folder + "good.mvm' '" + folder +
                          "good.mp3' --speed 1.25",
                      &status),
               status),
              0);
}
