// The wave input on a real PulseAudio server with a null sink: speech played into
// the sink is recorded from its monitor.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>

#include "ChainTestElements.h"
#include "MMWavIn.h"
#include "TestFiles.h"

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

}  // namespace
}  // namespace murmel
