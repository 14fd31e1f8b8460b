// The wave input on a real PulseAudio server with a null sink: speech played into
// the sink is recorded from its monitor.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ChainTestElements.h"
#include "MMWavIn.h"
#include "TestFiles.h"
#include "cli/CliProcess.h"

namespace murmel {
namespace {

using namespace std::chrono_literals;
using test::EventLog;
using test::LoggingElement;

bool HavePulse() { return std::getenv("PULSE_SERVER") != nullptr; }

struct PulseRecorder {
    EventLog log;
    UIThreadQueue ui;
    TMMWaveIn waveIn;
    LoggingElement writer{"WaveFile_Output", log};

    explicit PulseRecorder(const std::string& device)
        : waveIn("WaveIn_Mic", CaptureDeviceFromSpec(device)) {
        waveIn.UseRecorderSettings(&ui);
        waveIn.SetOutput(&writer);
    }
};

double Rms(const std::string& bytes) {
    double sum = 0;
    size_t count = bytes.size() / 2;
    for (size_t i = 0; i < count; ++i) {
        auto sample = static_cast<int16_t>(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
        sum += double(sample) * sample;
    }
    return count ? std::sqrt(sum / double(count)) : 0;
}

TEST(PulseCapture, MonitorOnlyDefaultSourceIsNoDevice) {
    if (!HavePulse()) GTEST_SKIP() << "no PulseAudio server (PULSE_SERVER unset)";
    PulseRecorder recorder("pulse");  // the daemon's only source is the null sink's monitor
    try {
        recorder.waveIn.Start();
        FAIL();
    } catch (const EMMWaveInError& error) {
        EXPECT_STREQ(error.what(), "No wave audio recording device found");
    }
}

TEST(PulseCapture, RecordsSpeechPlayedIntoTheNullSink) {
    if (!HavePulse()) GTEST_SKIP() << "no PulseAudio server (PULSE_SERVER unset)";
    std::string folder = test::FreshFolder("pulse-speech");
    std::string speech = folder + "speech.wav";
    ASSERT_EQ(
        std::system(
            ("espeak-ng -w " + speech + " 'Murmel records this message from the monitor'").c_str()),
        0);

    PulseRecorder recorder("pulse:murmel_null.monitor");
    int64_t startPosition = -1;
    recorder.waveIn.OnStart = [&](TMMDSPComponent*) { startPosition = recorder.waveIn.Position(); };
    recorder.waveIn.Start();
    EXPECT_GE(startPosition, 0);
    EXPECT_LT(startPosition, 200);
    int status = std::system(("paplay --device=murmel_null " + speech).c_str());
    std::this_thread::sleep_for(300ms);
    int64_t position = recorder.waveIn.Position();
    recorder.waveIn.Stop();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    recorder.waveIn.Close();
    std::string bytes = recorder.writer.Bytes();
    EXPECT_GT(position, 1000);
    // Everything captured arrived, in whole buffers but the last.
    EXPECT_GT(bytes.size(), size_t(position - startPosition - 300) * 176400 / 1000);
    EXPECT_GT(Rms(bytes), 300.0) << "the recording is silent";
}

// Two microphones: a null sink each, playing a tone of its own, recorded from its
// monitor. Which tone a recording holds tells which source it came from.
class TwoMicrophones : public ::testing::Test {
  protected:
    static constexpr int kLowHz = 440, kHighHz = 1500;

    void SetUp() override {
        if (!HavePulse()) GTEST_SKIP() << "no PulseAudio server (PULSE_SERVER unset)";
        folder = test::FreshFolder("two-microphones");
        for (auto [sink, hz] :
             {std::pair{"murmel_mic_low", kLowHz}, {"murmel_mic_high", kHighHz}}) {
            modules.push_back(
                Output("pactl load-module module-null-sink sink_name=" + std::string(sink)));
            const std::string wave = folder + sink + ".wav";
            test::WriteFile(wave, StereoTone(hz, 44100 * 60));
            players.push_back(Output("paplay --device=" + std::string(sink) + " " + wave +
                                     " >/dev/null 2>&1 & echo $!"));
        }
        // Both tones playing before anything records: a loaded machine starts
        // paplay late.
        for (int wait = 0; wait < 100 && PlayingStreams() < 2; ++wait)
            std::this_thread::sleep_for(100ms);
        std::this_thread::sleep_for(300ms);
    }
    static int PlayingStreams() {
        const std::string list = Output("pactl list short sink-inputs");
        return static_cast<int>(std::count(list.begin(), list.end(), '\n'));
    }
    void TearDown() override {
        for (const std::string& pid : players) std::system(("kill " + pid).c_str());
        for (const std::string& module : modules)
            std::system(("pactl unload-module " + module).c_str());
    }

    static std::string Output(const std::string& command) {
        std::string text;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
            pclose(pipe);
        }
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    static std::string StereoTone(int hz, size_t frames) {
        std::string bytes = "RIFF";
        auto le = [&bytes](uint32_t value, int size) {
            for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
        };
        le(uint32_t(36 + frames * 4), 4);
        bytes += "WAVEfmt ";
        le(16, 4), le(1, 2), le(2, 2), le(44100, 4), le(176400, 4), le(4, 2), le(16, 2);
        bytes += "data";
        le(uint32_t(frames * 4), 4);
        for (size_t i = 0; i < frames; ++i) {
            auto sample = static_cast<int16_t>(
                std::lround(8000 * std::sin(2 * M_PI * hz * double(i) / 44100)));
            le(uint16_t(sample), 2);
            le(uint16_t(sample), 2);
        }
        return bytes;
    }
    // The frequency of a recording without a preset (PCM, data from byte 46), by its
    // rising zero crossings on the left channel.
    static double Frequency(const std::string& file) {
        if (file.size() < 46 + 44100 * 4 / 2) return 0;
        int crossings = 0;
        int16_t last = 0;
        const size_t frames = (file.size() - 46) / 4;
        for (size_t i = 0; i < frames; ++i) {
            auto sample =
                static_cast<int16_t>(uint8_t(file[46 + 4 * i]) | uint8_t(file[47 + 4 * i]) << 8);
            if (last < 0 && sample >= 0) ++crossings;
            last = sample;
        }
        return crossings * 44100.0 / double(frames);
    }
    // murmel-cli record for `seconds`, from a program folder of its own holding `settings`.
    test::CliResult Record(const std::vector<std::string>& options, const std::string& settings,
                           const std::string& seconds = "1") {
        const std::string program = test::FreshFolder("program");
        std::filesystem::copy_file(std::string(MURMEL_PROGRAM_DIR) + "murmel-cli",
                                   program + "murmel-cli");
        if (!settings.empty()) test::WriteFile(program + "user.dll", settings);
        std::vector<std::string> arguments = {"record", folder + "out.wav", "--seconds",
                                              seconds,  "--preset",         "none"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::filesystem::remove(folder + "out.wav");
        test::CliProcess process(arguments, {"MURMEL_CAPTURE="}, program + "murmel-cli");
        return process.Finish(std::chrono::seconds(30));
    }

    std::string folder;
    std::vector<std::string> modules, players;
};

TEST_F(TwoMicrophones, TheChosenSourceIsTheOneRecorded) {
    test::CliResult run = Record({"--device", "murmel_mic_low.monitor"}, "");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(Frequency(test::ReadFile(folder + "out.wav")), kLowHz, kLowHz * 0.1);

    const std::string high = "[SoundSetup]\r\nMicrophone=murmel_mic_high.monitor\r\n";
    run = Record({}, high);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(Frequency(test::ReadFile(folder + "out.wav")), kHighHz, kHighHz * 0.1);

    // The command line wins over the settings.
    run = Record({"--device", "murmel_mic_low.monitor"}, high);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(Frequency(test::ReadFile(folder + "out.wav")), kLowHz, kLowHz * 0.1);

    const std::string listed = Output(std::string(MURMEL_PROGRAM_DIR) + "murmel-cli devices");
    EXPECT_NE(listed.find("murmel_mic_high.monitor\t"), std::string::npos) << listed;
}

// A source that hands its sound over in lumps of a second (as a source with a long
// latency or a loaded machine does), long after the server's clock has counted it:
// the seconds are recorded whole, the time shown is what was recorded, and the
// command ends soon after.
TEST_F(TwoMicrophones, ALumpySourceIsRecordedWholeAndEnds) {
    const std::string pipe = folder + "lumps", lump = folder + "lump.raw";
    modules.push_back(Output("pactl load-module module-pipe-source source_name=murmel_lumpy file=" +
                             pipe + " format=s16le rate=44100 channels=2"));
    test::WriteFile(lump, StereoTone(kLowHz, 44100).substr(44));
    players.push_back(Output("(exec 3>" + pipe + "; for i in $(seq 20); do cat " + lump +
                             " >&3; sleep 1; done) >/dev/null 2>&1 & echo $!"));
    const auto begun = std::chrono::steady_clock::now();
    test::CliResult run = Record({"--device", "murmel_lumpy"}, "", "2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 15s);
    EXPECT_NE(run.out.find("0:02.000\n"), std::string::npos) << run.out;
    const std::string file = test::ReadFile(folder + "out.wav");
    const size_t data = file.find("data");
    ASSERT_NE(data, std::string::npos);
    uint32_t size = 0;
    std::memcpy(&size, file.data() + data + 4, 4);
    EXPECT_EQ(size, 2 * 176400u);  // to the byte
    EXPECT_GT(Rms(file.substr(data + 8)), 2000.0) << "the lumps are missing";
}

TEST_F(TwoMicrophones, AMissingSourceRecordsNothingAndIsNamed) {
    for (const auto& [options, settings] :
         {std::pair<std::vector<std::string>, std::string>{{"--device", "murmel_gone"}, ""},
          {{}, "[SoundSetup]\r\nMicrophone=murmel_gone\r\n"}}) {
        test::CliResult run = Record(options, settings);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("murmel_gone"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder + "out.wav"));
    }
}

}  // namespace
}  // namespace murmel
