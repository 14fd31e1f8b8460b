// Through a real PulseAudio server with a null sink: the voice reaches the sink.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <cstring>
#include <unistd.h>

#include "PlayTestFiles.h"
#include "PlayerCore.h"
#include "PulseOutput.h"

using namespace murmel;
using namespace murmel::test;

namespace {

// Records the null sink's monitor with parec into `path` until stopped.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const std::string& path) {
        pid_ = fork();
        if (pid_ == 0) {
            execlp("parec", "parec", "--device=murmel_null.monitor", "--format=s16le", "--rate=44100",
                   "--channels=2", "--latency-msec=20", "--raw", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~MonitorRecorder() { Stop(); }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
};

}  // namespace

TEST(PulsePlayback, VoiceMailReachesTheNullSink) {
    if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "PULSE_SERVER is not set";
    const std::string folder = FreshFolder("pulse");
    const std::string mail = folder + "tone.mvm";
    WriteVoiceMail(mail, PcmWave(16000, 1, 1.0, 700, 0.5), MidiTune(2), ScheduleText({{0, 9}}), true);

    MonitorRecorder recorder(folder + "monitor.raw");
    PulseOutput output;
    WallClock& clock = static_cast<WallClock&>(output.OutputClock());
    clock.WaitUntilMs(clock.NowMs() + 300);  // let parec attach first
    PlayerListener listener;
    PlayerCore core(output, listener);
    ASSERT_TRUE(core.ExecuteMVMFile(mail));
    int64_t next = clock.NowMs();
    bool sawPosition = false;
    while (core.Display().progressTimerEnabled && next < 20000) {
        clock.WaitUntilMs(next += 50);
        core.TmProgressTimer();
        sawPosition = sawPosition || core.Display().progress > 0;
    }
    EXPECT_FALSE(core.Display().progressTimerEnabled) << "playback never ended";
    EXPECT_TRUE(sawPosition);
    clock.WaitUntilMs(clock.NowMs() + 200);
    recorder.Stop();

    const std::string raw = ReadFile(folder + "monitor.raw");
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    ASSERT_GT(samples.size(), 44100u);
    EXPECT_GT(LevelDb(samples, 0, static_cast<int>(samples.size() / 2 * 1000 / 44100)), -40);
    EXPECT_TRUE(LooseTempFiles().empty());
}

TEST(PulsePlayback, NoServerIsAReadableError) {
    const char* saved = std::getenv("PULSE_SERVER");
    const std::string keep = saved ? saved : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/murmel/native", 1);
    try {
        PulseOutput output;
        ADD_FAILURE() << "connected to nothing";
    } catch (const EAudioOutputError& error) {
        EXPECT_EQ(std::string(error.what()).find("no sound server: "), 0u) << error.what();
        EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
    }
    if (saved) setenv("PULSE_SERVER", keep.c_str(), 1);
    else unsetenv("PULSE_SERVER");
}
