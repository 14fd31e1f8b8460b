// Writing a recording's data in the converter's 2048-byte pieces: our writer, which
// asks the file system for its free space before every piece, against stdio's
// fwrite through a buffer of the same 32 KiB. Also the whole-file cost per second
// of 44.1 kHz stereo sound. Usage: wave_bench [megabytes] (default 256).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "MMDSPObj.h"
#include "MMWave.h"
#include "TempNames.h"

using namespace murmel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kPiece = 2048;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Ours(const std::string& path, const std::vector<char>& piece, size_t pieces,
            bool askDisk = true) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    TMMWave wave;
    wave.FileMustExist = false;
    wave.SetFileName(path);
    if (!askDisk)
        wave.FreeSpace = [](const std::string&) { return std::optional<uint64_t>(UINT64_MAX / 2); };
    const auto start = Clock::now();
    wave.Create(format.get());
    for (size_t i = 0; i < pieces; ++i)
        if (!wave.Append(piece.data(), piece.size())) return -1;
    wave.Finalise();
    return Seconds(start);
}

double Peer(const std::string& path, const std::vector<char>& piece, size_t pieces) {
    const auto start = Clock::now();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return -1;
    std::vector<char> buffer(TMMWave::kDefaultIOBufferSize);
    setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    const char header[46] = {};
    std::fwrite(header, 1, sizeof header, file);
    for (size_t i = 0; i < pieces; ++i) std::fwrite(piece.data(), 1, piece.size(), file);
    std::fclose(file);
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const size_t pieces = megabytes * 1024 * 1024 / kPiece;
    std::vector<char> piece(kPiece);
    for (size_t i = 0; i < kPiece; ++i) piece[i] = static_cast<char>(i * 31);
    const std::string ours = TempFolder() + "wave_bench_ours.wav";
    const std::string peer = TempFolder() + "wave_bench_peer.wav";

    double bestOurs = 1e9, bestPeer = 1e9, bestUnchecked = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double o = Ours(ours, piece, pieces), p = Peer(peer, piece, pieces);
        const double u = Ours(ours, piece, pieces, false);
        bestUnchecked = std::min(bestUnchecked, u);
        if (o < 0 || p < 0 || u < 0) {
            std::fprintf(stderr, "write failed (disk full?)\n");
            return 1;
        }
        bestOurs = std::min(bestOurs, o);
        bestPeer = std::min(bestPeer, p);
        unlink(ours.c_str());
        unlink(peer.c_str());
    }
    const double mb = static_cast<double>(megabytes);
    std::printf(
        "wave writer, 2048-byte pieces (MB/s): ours %.0f, peer %.0f (stdio fwrite), ratio %.2f\n",
        mb / bestOurs, mb / bestPeer, bestPeer / bestOurs);
    std::printf(
        "wave writer without the free-space check (MB/s): ours %.0f, peer %.0f (stdio fwrite), "
        "ratio %.2f\n",
        mb / bestUnchecked, mb / bestPeer, bestPeer / bestUnchecked);
    // One second of PCM is 176400 bytes; the MP3 presets write far less.
    const double perSecondOurs = bestOurs / (mb * 1024 * 1024 / 176400) * 1e6;
    const double perSecondPeer = bestPeer / (mb * 1024 * 1024 / 176400) * 1e6;
    std::printf(
        "wave writer, microseconds per second of PCM sound: ours %.1f, peer %.1f (stdio fwrite), "
        "ratio %.2f\n",
        perSecondOurs, perSecondPeer, perSecondOurs / perSecondPeer);
    return 0;
}
