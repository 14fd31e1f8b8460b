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
#include "PlaybackBench.h"
#include "PlayerCore.h"
#include "RenderOutput.h"
#include "WMediaPlayer.h"

using namespace murmel;
using namespace murmel::test;

namespace {

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

    const std::string mail = LongVoiceMail(folder, seconds);
    if (mail.empty()) {
        std::fprintf(stderr, "lame failed\n");
        return 1;
    }
    const std::string mp3 = ReadFile(folder + "voice.mp3");
    const std::string tune = ReadFile(folder + "tune.mid");
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
