// Playback of a 10-minute voice mail (2K preset voice track plus a MIDI tune):
//  - open-to-first-frame: from ExecuteMVMFile to the first voice frame handed to the
//    output, beside the whole run of `mpg123 -t` on the same voice track;
//  - CPU per second of playback (rendered offline), beside mpg123 and fluidsynth
//    rendering the same voice track and tune.
// Usage: play_bench [MINUTES]  (default 10)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include "PlayTestFiles.h"
#include "PlayerCore.h"
#include "RenderOutput.h"
#include "WMediaPlayer.h"

using namespace murmel;
using namespace murmel::test;
using Seconds = std::chrono::duration<double>;

namespace {

struct RunCost {
    double wall = 0, cpu = 0;
};

// Runs a command to completion with its output discarded: wall time and CPU time.
RunCost RunProcess(const std::vector<std::string>& command) {
    std::fflush(stdout);  // the child must not repeat what is still buffered
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    RunCost cost;
    cost.wall = Seconds(std::chrono::steady_clock::now() - start).count();
    cost.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "warning: %s failed\n", command[0].c_str());
    return cost;
}

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A melody on a piano over a held organ chord, for `seconds`.
std::string LongTune(double seconds) {
    std::string track;
    auto event = [&](uint32_t delta, std::initializer_list<int> bytes) {
        PutVariable(track, delta);
        for (int byte : bytes) track += static_cast<char>(byte);
    };
    event(0, {0xC0, 0});
    event(0, {0xC1, 19});
    event(0, {0x91, 48, 70});
    event(0, {0x91, 55, 70});
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    const int notes = static_cast<int>(seconds * 4);
    for (int i = 0; i < notes; ++i) {
        event(i ? 60 : 0, {0x90, scale[(i * 3) % 8], 90});
        event(180, {0x80, scale[(i * 3) % 8], 0});
    }
    event(0, {0x81, 48, 0});
    event(0, {0x81, 55, 0});
    event(0, {0xFF, 0x2F, 0x00});
    std::string file = "MThd";
    for (int byte : {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}) file += static_cast<char>(byte);
    file += "MTrk";
    for (int shift : {24, 16, 8, 0}) file += static_cast<char>((track.size() >> shift) & 0xFF);
    return file + track;
}

// Wraps the voice source to note when its first frames are asked for.
class ProbeSource : public AudioSource {
public:
    ProbeSource(std::shared_ptr<AudioSource> inner, std::atomic<int64_t>& firstNs) : inner_(std::move(inner)), firstNs_(firstNs) {}
    size_t Pull(float* out, size_t frames) override {
        if (firstNs_ == 0) firstNs_ = std::chrono::steady_clock::now().time_since_epoch().count();
        return inner_->Pull(out, frames);
    }

private:
    std::shared_ptr<AudioSource> inner_;
    std::atomic<int64_t>& firstNs_;
};

// The offline renderer, noting the first frame of the voice stream (the first
// stream that is not the tune's 44.1 kHz stereo).
class ProbeOutput : public AudioOutput {
public:
    explicit ProbeOutput(const std::string& path) : render_(path) {}
    std::unique_ptr<AudioStream> Play(StreamFormat format, std::shared_ptr<AudioSource> source) override {
        if (format.sampleRate != TWMediaPlayer::kRate) source = std::make_shared<ProbeSource>(source, firstNs);
        return render_.Play(format, std::move(source));
    }
    Clock& OutputClock() override { return render_.OutputClock(); }
    std::atomic<int64_t> firstNs{0};

private:
    RenderOutput render_;
};

// Opens the voice mail and renders until the first voice frame: seconds taken.
double OpenToFirstFrame(const std::string& mail, const std::string& folder) {
    ProbeOutput output(folder + "probe.wav");
    PlayerListener listener;
    PlayerCore core(output, listener);
    const int64_t start = std::chrono::steady_clock::now().time_since_epoch().count();
    core.ExecuteMVMFile(mail);
    output.OutputClock().WaitUntilMs(1);
    return (output.firstNs - start) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    const std::string folder = TempFolder() + "murmel-play-bench-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);
    const double seconds = minutes * 60;

    // The voice track: speech-band tones at the 2K preset (16 kHz mono, 16 kbit/s).
    std::string pcm;
    {
        const uint32_t rate = 16000;
        const auto frames = static_cast<uint32_t>(seconds * rate);
        pcm.reserve(frames * 2);
        for (uint32_t i = 0; i < frames; ++i) {
            const double t = double(i) / rate;
            const double value = 0.3 * std::sin(2 * M_PI * (200 + 100 * std::sin(t)) * t) + 0.1 * std::sin(2 * M_PI * 1300 * t);
            PutLE(pcm, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(value * 32767))), 2);
        }
        WriteFile(folder + "voice-in.wav", Riff(Chunk("fmt ", PcmFormat(rate, 1, 16)) + Chunk("data", pcm)));
    }
    if (std::system(("lame --quiet -t -m m -b 16 '" + folder + "voice-in.wav' '" + folder + "voice.mp3'").c_str()) != 0) {
        std::fprintf(stderr, "lame failed\n");
        return 1;
    }
    const std::string mp3 = ReadFile(folder + "voice.mp3");
    const std::string tune = LongTune(seconds);
    WriteFile(folder + "tune.mid", tune);
    std::vector<std::pair<int, int>> entries;
    for (int t = 0; t < seconds * 1000; t += 5000) entries.push_back({t, 1 + (t / 5000) % 9});
    const std::string mail = folder + "long.mvm";
    WriteVoiceMail(mail, WrapMp3(mp3, kPresets[1], true), tune, ScheduleText(entries), true);
    std::printf("voice mail: %.0f s, voice track %zu bytes, tune %zu bytes, mail %zu bytes\n", seconds, mp3.size(),
                tune.size(), ReadFile(mail).size());

    // Open to first frame: the first open in a process loads the soundfont, later ones reuse it.
    const double cold = OpenToFirstFrame(mail, folder);
    std::vector<double> warm, peer;
    for (int i = 0; i < 5; ++i) warm.push_back(OpenToFirstFrame(mail, folder));
    for (int i = 0; i < 5; ++i) peer.push_back(RunProcess({"mpg123", "-q", "-t", folder + "voice.mp3"}).wall);
    const double peerWall = Median(peer);
    std::printf("open-to-first-frame (first in process): ours %.3f s, peer mpg123 -t %.3f s, ratio %.2f\n", cold,
                peerWall, cold / peerWall);
    std::printf("open-to-first-frame (median of 5): ours %.3f s, peer mpg123 -t %.3f s, ratio %.2f\n",
                Median(warm), peerWall, Median(warm) / peerWall);

    // CPU per second of playback: the whole voice mail rendered with 50 ms ticks.
    const double cpuBefore = ProcessCpu();
    {
        RenderOutput output("/dev/null");
        PlayerListener listener;
        PlayerCore core(output, listener);
        core.ExecuteMVMFile(mail);
        int64_t next = 0;
        while (core.Display().progressTimerEnabled) {
            output.OutputClock().WaitUntilMs(next += 50);
            core.TmProgressTimer();
        }
    }
    const double ours = (ProcessCpu() - cpuBefore) / seconds;
    const double mpg123 = RunProcess({"mpg123", "-q", "-t", folder + "voice.mp3"}).cpu / seconds;
    const double fluid = RunProcess({"fluidsynth", "-q", "-ni", "-T", "raw", "-F", "/dev/null", "-r", "44100",
                                     TWMediaPlayer::SoundFontPath(), folder + "tune.mid"}).cpu / seconds;
    std::printf("cpu per second of playback: ours %.5f s, peer mpg123+fluidsynth %.5f s (%.5f + %.5f), ratio %.2f\n",
                ours, mpg123 + fluid, mpg123, fluid, ours / (mpg123 + fluid));
    std::filesystem::remove_all(folder);
    return 0;
}
