// Trimming, on a 10-minute plain recording (2K preset: 16 kHz mono MP3 in RIFF WAVE):
//  - the trim window's waveform (decoding the whole track into 1000 columns of peaks)
//    beside ffmpeg decoding the same file to PCM (target: ≤ 1×);
//  - cutting 1 min to 9 min of it beside ffmpeg -ss/-to encoding the same span to
//    MP3 in RIFF WAVE at the same rate, bit rate and LAME quality (target: ≤ 1×).
// Usage: trim_bench [MINUTES]  (default 10)
#include <filesystem>

#include "BenchProcess.h"
#include "PlaybackBench.h"
#include "RecordingTrim.h"
#include "TrimSource.h"

using namespace murmel;
using namespace murmel::test;

namespace {

template <typename Work>
double MedianWall(Work&& work) {
    std::vector<double> rounds;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        rounds.push_back(Seconds(std::chrono::steady_clock::now() - start).count());
    }
    return Median(rounds);
}

double MedianPeer(const std::vector<std::string>& command) {
    std::vector<double> rounds;
    for (int round = 0; round < 3; ++round) rounds.push_back(RunProcess(command).wall);
    return Median(rounds);
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
    const double seconds = minutes * 60;
    const std::string folder = TempFolder() + "murmel-trim-bench-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);
    if (LongVoiceMail(folder, seconds).empty()) {
        std::fprintf(stderr, "lame failed\n");
        return 1;
    }
    const std::string plain = folder + "plain.mp3";
    WriteFile(plain, WrapMp3(ReadFile(folder + "voice.mp3"), kPresets[1], true));
    std::printf("recording: %.0f s, 2K preset\n", seconds);

    const double oursWave = MedianWall([&] { TrimSource(plain).Peaks(1000); });
    const double peerWave =
        MedianPeer({"ffmpeg", "-v", "quiet", "-y", "-i", plain, "-f", "s16le", "/dev/null"});
    std::printf("waveform wall time: ours %.3f s, peer ffmpeg decode %.3f s, ratio %.2f\n",
                oursWave, peerWave, oursWave / peerWave);

    const int64_t fromMs = static_cast<int64_t>(seconds * 100);  // a tenth in
    const int64_t toMs = static_cast<int64_t>(seconds * 900);    // a tenth before the end
    const double oursTrim =
        MedianWall([&] { TrimRecording(plain, folder + "ours.mp3", fromMs, toMs); });
    const double peerTrim = MedianPeer({"ffmpeg",
                                        "-v",
                                        "quiet",
                                        "-y",
                                        "-ss",
                                        std::to_string(fromMs / 1000.0),
                                        "-to",
                                        std::to_string(toMs / 1000.0),
                                        "-i",
                                        plain,
                                        "-c:a",
                                        "libmp3lame",
                                        // The LAME quality the recorder's converter
                                        // encodes at (-q 2); ffmpeg's default is -q 3.
                                        "-compression_level",
                                        "2",
                                        "-ar",
                                        "16000",
                                        "-ac",
                                        "1",
                                        "-b:a",
                                        "16k",
                                        "-f",
                                        "wav",
                                        folder + "peer.wav"});
    std::printf("trim wall time: ours %.3f s, peer ffmpeg -ss/-to %.3f s, ratio %.2f\n", oursTrim,
                peerTrim, oursTrim / peerTrim);
    std::filesystem::remove_all(folder);
    return 0;
}
