// murmel-cli record: the recorder without its window. The same capture chain,
// recording session and saving code as the window: WaveIn_Mic → Connector →
// Reverb → ACMConverter → WaveFile_Output on the source --device names (else the
// device MURMEL_CAPTURE names, else the microphone of the settings), the voice
// cleaned with --clean (or when the settings say so),
// with background music (--music) and slider moves (--slider MS:POSITION), until
// --seconds of sound, Ctrl-C or the end of a file source; the recording is
// finalised and saved in every case.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "AudioOutput.h"
#include "Command.h"
#include "MMUtils.h"
#include "PresetsStore.h"
#include "PrintableText.h"
#include "RecordingChain.h"
#include "RecordingSession.h"
#include "UIThreadPost.h"
#include "UserFolder.h"
#include "WMediaPlayer.h"

namespace murmel::cli {
namespace {

constexpr auto kTick = std::chrono::milliseconds(50);  // the recorder's elapsed-time timer

struct SliderMove {
    int64_t atMs;
    int position;
};

struct RecordOptions {
    std::string output;      // empty: named as the recorder names it, in "MyVoice"
    double seconds = 0;      // 0: until Ctrl-C or the end of the source
    std::string resolution;  // empty: the settings'
    std::string music;
    std::vector<SliderMove> slider;
    std::string device;  // empty: MURMEL_CAPTURE, then the settings' microphone
    bool clean = false;  // false: as the settings' "SoundSetup"/"CleanVoice" say
};

int64_t ParseInteger(const std::string& text, int64_t low, int64_t high, const char* what) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        throw UsageError(what);
    return value;
}

SliderMove ParseSliderMove(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) throw UsageError("--slider needs MS:POSITION");
    const char* what = "--slider needs MS:POSITION with MS >= 0 and POSITION 0..100";
    return {ParseInteger(text.substr(0, colon), 0, INT32_MAX, what),
            static_cast<int>(ParseInteger(text.substr(colon + 1), 0, 100, what))};
}

RecordOptions ParseRecordOptions(const Arguments& arguments) {
    ParsedArguments parsed =
        ParseArguments(arguments, {"--seconds", "--preset", "--music", "--slider", "--device"},
                       {"--clean"});
    if (parsed.positional.size() > 1) throw UsageError("expected at most one output file");
    RecordOptions options;
    if (!parsed.positional.empty()) options.output = parsed.positional[0];
    if (parsed.Has("--seconds")) {
        std::string text = parsed.Value("--seconds");
        char* end = nullptr;
        options.seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(options.seconds > 0) || options.seconds > 1e7)
            throw UsageError("--seconds needs a positive number");
    }
    if (parsed.Has("--preset")) {
        options.resolution = parsed.Value("--preset");
        const std::string& r = options.resolution;
        if (r != "1K" && r != "2K" && r != "4K" && r != "8K" && r != "none")
            throw UsageError("--preset must be 1K, 2K, 4K, 8K or none");
    }
    options.device = parsed.Value("--device");
    options.clean = parsed.Has("--clean");
    if (parsed.Has("--device") && options.device.empty())
        throw UsageError("--device needs a source name (see murmel-cli devices)");
    options.music = parsed.Value("--music");
    if (parsed.Has("--music") && options.music.empty()) throw UsageError("--music needs a tune");
    for (const std::string& move : parsed.Values("--slider"))
        options.slider.push_back(ParseSliderMove(move));
    if (!options.slider.empty() && options.music.empty())
        throw UsageError("--slider logs moves of the music volume; it needs --music");
    std::stable_sort(options.slider.begin(), options.slider.end(),
                     [](const SliderMove& a, const SliderMove& b) { return a.atMs < b.atMs; });
    return options;
}

void CheckRecordingTarget(const std::string& path);

// Answers the session's questions from the command line and reports on stderr.
class CliListener : public RecorderListener {
  public:
    explicit CliListener(const RecordOptions& options) : options_(options) {}
    std::string ChooseMusic(const std::string&) override { return options_.music; }
    std::string ChooseSaveName(SaveDialogKind, const std::string&) override {
        return options_.output;
    }
    // OUT is the user's word to replace what is there, checked once more: what
    // has turned up there since the start is refused, and the recording waits in
    // the temporary folder for `recover`.
    bool ConfirmReplace(const std::string& path) override {
        CheckRecordingTarget(path);
        return true;
    }
    bool RecordFromDefaultMicrophone(const std::string& source) override {
        std::fprintf(stderr,
                     "murmel-cli record: capture source %s not found (see murmel-cli devices)\n",
                     PrintableText(source).c_str());
        failed = true;
        return false;
    }
    void InputWarningChanged(InputWarning warning) override {
        if (warning == InputWarning::Silent && !silenceReported_)
            std::fprintf(stderr,
                         "murmel-cli record: warning: no sound from the microphone; check that it "
                         "is plugged in and not muted\n");
        if (warning == InputWarning::Clipping && !clippingReported_)
            std::fprintf(stderr,
                         "murmel-cli record: warning: the input is clipping; turn the microphone "
                         "down\n");
        silenceReported_ |= warning == InputWarning::Silent;
        clippingReported_ |= warning == InputWarning::Clipping;
    }
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        failed = true;
    }
    bool failed = false;

  private:
    const RecordOptions& options_;
    bool silenceReported_ = false, clippingReported_ = false;
};

void ShowElapsed(int64_t milliseconds, bool final) {
    static const bool terminal = isatty(STDOUT_FILENO);
    static int64_t lastShown = -1000;
    if (terminal) {
        std::printf("\r%s", FormatTimeText(milliseconds, true).c_str());
        if (final) std::printf("\n");
    } else if (final || milliseconds - lastShown >= 1000) {
        std::printf("%s\n", FormatTimeText(milliseconds, true).c_str());
        lastShown = milliseconds;
    }
    std::fflush(stdout);
}

// The file was finalised with what reached it; a recording cut short by the disk
// is a failure all the same.
int ReportWriteError(const TMMWaveFile& writer) {
    const int error = writer.WriteError();
    if (error == 0) return 0;
    const std::string reason = error == ENOSPC ? "disk full" : std::strerror(error);
    std::fprintf(stderr, "murmel-cli record: %s: %s; the file keeps what was recorded before\n",
                 writer.Wave().FileName().c_str(), reason.c_str());
    return 1;
}

// OUT is checked before anything is recorded: what a recording may not replace
// (a device, a FIFO, another user's read-only file, a text typed by mistake) is
// refused at once and never touched. A link is replaced, never written through.
void CheckRecordingTarget(const std::string& path) {
    auto refuse = [&](const std::string& reason) {
        throw std::runtime_error("Unable to create wave file: " + path + ": " + reason);
    };
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return;
    if (!S_ISREG(info.st_mode)) refuse("not a regular file");
    // By the mode bits, so that root too leaves another user's read-only file alone.
    const mode_t bit = info.st_uid == geteuid()   ? S_IWUSR
                       : info.st_gid == getegid() ? S_IWGRP
                                                  : S_IWOTH;
    if (!(info.st_mode & bit)) refuse(std::strerror(EACCES));
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) refuse(std::strerror(errno));
    char header[12] = {};
    const bool wave = info.st_size == 0 || (pread(fd, header, sizeof header, 0) == sizeof header &&
                                            std::memcmp(header, "RIFF", 4) == 0 &&
                                            std::memcmp(header + 8, "WAVE", 4) == 0);
    close(fd);
    if (!wave) refuse("not a wave file, left as it is");
}

void WarnMissingPreset(const std::string& resolution) {
    if (resolution.empty() || resolution == "none") return;
    const std::vector<uint8_t> record = EffectivePreset("WaveFormat" + resolution);
    if (WaveFormatFromBytes(record.data(), record.size())) return;
    std::fprintf(stderr, "murmel-cli record: preset WaveFormat%s not installed; recording PCM\n",
                 resolution.c_str());
}

int Record(const Arguments& arguments) {
    RecordOptions options = ParseRecordOptions(arguments);
    if (!options.output.empty()) CheckRecordingTarget(options.output);
    UIThreadQueue ui;
    RecordingChain chain(&ui);
    // Without a tune nothing is heard, so no sound server is needed.
    std::unique_ptr<AudioOutput> output =
        options.music.empty() ? OpenAudioOutput("null") : OpenAudioOutput();
    TWMediaPlayer music(*output);
    AttachmentList attachments;
    CliListener listener(options);
    // A capture failure is reported and the loop goes on, so the recording that
    // stopped with it is still saved.
    ui.OnTaskError = [&listener](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            listener.ShowError(e.what());
        }
    };
    RecordingSession session(UserFolder(), chain, music, attachments, listener, ui);
    session.NamingMode = options.output.empty() ? RecordingSession::Naming::Automatic
                                                : RecordingSession::Naming::Question;
    session.ResolutionOverride = options.resolution;
    session.MicrophoneOverride = options.device;
    session.CleanOverride = options.clean;
    // A killed record is completed by `murmel-cli recover` where it was meant to go.
    session.ProgramName = "murmel-cli";
    if (!options.output.empty())
        session.RecoveryTarget = std::filesystem::absolute(options.output).string();
    WarnMissingPreset(options.resolution);
    if (!options.music.empty()) session.cbRecWithMusicClick(true);

    // The wave input's own limit cuts the sound at exactly N seconds, also when a
    // fast file source delivers faster than the loop looks.
    const auto limit = static_cast<int64_t>(std::llround(options.seconds * 1000));
    if (limit > 0) chain.WaveIn_Mic.SetMaxRecordTime(limit);
    CatchInterrupt();
    CatchSuspend();
    session.bitbtnRecClick();  // a failure has closed the chain (and finalised a created file)
    int64_t elapsed = 0;
    size_t nextMove = 0;
    while (session.Recording()) {
        // What the capture thread reports (a failure, the limit) runs here; a
        // recording that stopped on its own is saved by the task it posts.
        ui.WaitAndRun(kTick);
        if (!session.Recording()) break;
        if (TakeSuspendRequest()) {
            // Ctrl-Z pauses the recording, then stops the process; fg resumes both.
            session.PauseRecording();
            std::fprintf(stderr, "\nmurmel-cli record: paused\n");
            raise(SIGSTOP);
            session.ResumeRecording();
        }
        session.tmRecTimer();
        elapsed = session.RecordedMs();
        for (; nextMove < options.slider.size() && options.slider[nextMove].atMs <= elapsed;
             ++nextMove)
            session.BGVolumeChange(options.slider[nextMove].position);
        ShowElapsed(elapsed, false);
        if (Interrupted() || (limit > 0 && elapsed >= limit) || chain.WaveIn_Mic.SourceExhausted() ||
            chain.WaveFile_Output.WriteError() != 0)
            break;
    }
    if (session.Recording()) session.bitbtnRecClick();  // stop and save
    ui.RunPending();
    // What reached the file: a source with a long latency delivers its last lump at the stop.
    elapsed = std::max(elapsed, session.StoppedAtMs());
    ShowElapsed(elapsed, true);
    if (attachments.Count() > 0) std::printf("%s\n", attachments.Items().back().path.c_str());
    if (ReportWriteError(chain.WaveFile_Output) != 0 || listener.failed) return 1;
    if (attachments.Count() == 0) throw std::runtime_error("murmel-cli record: nothing was saved");
    return 0;
}

const RegisterCommand record(
    {"record",
     "[OUT] [--seconds N] [--preset 1K|2K|4K|8K|none] [--device SOURCE] [--clean] "
     "[--music TUNE.mid "
     "[--slider MS:POSITION]...]",
     Record});

}  // namespace
}  // namespace murmel::cli
