// Export and speed, on a 10-minute voice mail (2K preset voice track plus a MIDI tune):
//  - exporting it to MP3, beside the three steps run as separate commands in the
//    same run: mpg123 decoding the voice, fluidsynth -F rendering the tune and lame
//    encoding a mix of the same length in the same format (target: ours ≤ 1.2× their sum);
//  - CPU per second of playback at 2× beside the same at 1× (target: ≤ 2.5×).
// Usage: export_bench [MINUTES]  (default 10)
#include <filesystem>

#include "PlaybackBench.h"
#include "PlayerCore.h"
#include "RenderOutput.h"
#include "VoiceMailExport.h"
#include "WMediaPlayer.h"

using namespace murmel;
using namespace murmel::test;

namespace {

// CPU seconds to play the whole voice mail at `speed`, rendered offline with 50 ms ticks.
double PlaybackCpu(const std::string& mail, double speed) {
    const double before = ProcessCpu();
    RenderOutput output("/dev/null");
    PlayerListener listener;
    PlayerCore core(output, listener);
    core.SetSpeed(speed);
    core.ExecuteMVMFile(mail);
    for (int64_t next = 50; core.Display().progressTimerEnabled; next += 50) {
        output.OutputClock().WaitUntilMs(next);
        core.TmProgressTimer();
    }
    return ProcessCpu() - before;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    const double seconds = minutes * 60;
    const std::string folder =
        TempFolder() + "murmel-export-bench-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);
    const std::string mail = LongVoiceMail(folder, seconds);
    if (mail.empty()) {
        std::fprintf(stderr, "lame failed\n");
        return 1;
    }
    const std::string soundFont = TWMediaPlayer::SoundFontPath();
    std::printf("voice mail: %.0f s, soundfont %s\n", seconds, soundFont.c_str());

    // Ours, in process: wall and CPU time of the whole export.
    const double cpuBefore = ProcessCpu();
    const auto start = std::chrono::steady_clock::now();
    ExportVoiceMail(mail, folder + "ours.mp3", {});
    const double oursWall = Seconds(std::chrono::steady_clock::now() - start).count();
    const double oursCpu = ProcessCpu() - cpuBefore;

    // The peers: the same work as three commands. Our MP3 is 16 kHz mono at 40 kbit/s
    // (the voice's own format at the lowest rate that holds the info frame).
    const RunCost decode =
        RunProcess({"mpg123", "-q", "-w", folder + "voice.wav", folder + "voice.mp3"});
    const RunCost render = RunProcess({"fluidsynth", "-q", "-ni", "-F", folder + "tune.wav", "-r",
                                       "44100", soundFont, folder + "tune.mid"});
    const RunCost encode = RunProcess({"lame", "--quiet", "-m", "m", "--resample", "16", "-b", "40",
                                       folder + "tune.wav", folder + "peer.mp3"});
    const double peerWall = decode.wall + render.wall + encode.wall;
    const double peerCpu = decode.cpu + render.cpu + encode.cpu;
    std::printf(
        "export wall time: ours %.2f s, peer mpg123+fluidsynth+lame %.2f s (%.2f + %.2f + %.2f), "
        "ratio %.2f\n",
        oursWall, peerWall, decode.wall, render.wall, encode.wall, oursWall / peerWall);
    std::printf(
        "export cpu time: ours %.2f s, peer mpg123+fluidsynth+lame %.2f s (%.2f + %.2f + %.2f), "
        "ratio %.2f\n",
        oursCpu, peerCpu, decode.cpu, render.cpu, encode.cpu, oursCpu / peerCpu);

    // CPU per second of playback: at 2x a second of listening covers two of the track.
    const double atOne = PlaybackCpu(mail, 1.0) / seconds;
    const double atTwo = PlaybackCpu(mail, 2.0) / (seconds / 2);
    std::printf(
        "cpu per second of playback at 2x: ours %.5f s, peer ours at 1x %.5f s, ratio %.2f\n",
        atTwo, atOne, atTwo / atOne);
    std::filesystem::remove_all(folder);
    return 0;
}
