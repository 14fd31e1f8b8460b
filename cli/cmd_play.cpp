#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "AudioOutput.h"
#include "Command.h"
#include "PlayerCore.h"

namespace murmel::cli {
namespace {

constexpr int kTickMs = 50;  // the player window's progress timer

// Prints the applied schedule entries and the end of playback when asked to.
class TraceListener : public PlayerListener {
  public:
    explicit TraceListener(bool trace) : trace_(trace) {}
    void ScheduleApplied(int32_t index, int64_t positionMs, int32_t volume) override {
        if (trace_)
            Line(std::to_string(positionMs) + " ms: entry " + std::to_string(index) + ", volume " +
                 std::to_string(volume));
    }
    void PlaybackEnded() override {
        if (trace_) Line("end of playback");
    }

  private:
    // Each line as it happens, also when stdout is a pipe.
    static void Line(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    bool trace_;
};

int Play(const Arguments& arguments) {
    const ParsedArguments parsed = ParseArguments(arguments, {"--speed", "--start"}, {"--trace"});
    if (parsed.positional.size() != 1) throw UsageError("expected one voice mail or recording");
    const std::string& fileName = parsed.positional[0];
    const bool trace = parsed.Has("--trace");
    const double speed = ParseSpeed(parsed.Value("--speed", "1"));
    const int64_t startMs = ParseMilliseconds(parsed.Value("--start", "0"), "--start");
    if (access(fileName.c_str(), R_OK) != 0)  // before the sound server is involved
        throw std::runtime_error("Cannot play " + fileName + ": " + std::strerror(errno));
    CatchInterrupt();

    std::unique_ptr<AudioOutput> output = OpenAudioOutput();
    TraceListener listener(trace);
    PlayerCore core(*output, listener);
    core.SetSpeed(speed);
    core.SetCurrentFileName(fileName);
    if (!core.ExecuteMVMFile(fileName))
        throw std::runtime_error("Cannot play " + fileName + ": " + core.LastLoadError());
    if (startMs > 0) core.Seek(startMs);
    Clock& clock = output->OutputClock();
    int64_t next = clock.NowMs();
    while (core.Display().progressTimerEnabled && !Interrupted()) {
        next += kTickMs;
        clock.WaitUntilMs(next);
        core.TmProgressTimer();
    }
    if (Interrupted()) {
        core.FormClose();  // stops and removes the temporary files
        if (trace) std::printf("interrupted\n");
    }
    std::fflush(stdout);
    if (!core.LastPlaybackError().empty())
        throw std::runtime_error("Cannot play " + fileName + ": " + core.LastPlaybackError());
    return 0;
}

const RegisterCommand play({"play", "FILE.mvm|FILE.mp3|FILE.wav [--trace] [--speed X] [--start MS]",
                            Play});

}  // namespace
}  // namespace murmel::cli
