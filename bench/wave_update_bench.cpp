// What the crash-safe updates cost: the wave file writer bringing its sizes up to
// date and syncing every two seconds of sound, against the same writer without
// updates ("peer"), measured in the same run, best of several rounds.
//  - writer alone, PCM (the most bytes a recording writes): wall and CPU time per
//    second of sound, sync waits included in the wall time;
//  - the recorder's converter and writer at the 8K preset: CPU per second of sound.
// Usage: wave_update_bench [SECONDS_OF_SOUND] [ROUNDS]   (default 600 s, 5 rounds)
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MMACMCvt.h"
#include "MMWave.h"
#include "PresetsStore.h"
#include "TempNames.h"

using namespace murmel;

namespace {

constexpr size_t kPiece = 2048;  // the capture buffer, and the converter's largest piece
constexpr uint32_t kPcmBytesPerSecond = 176400;

struct Cost {
    double wall = 1e9, cpu = 1e9;
    void Keep(double w, double c) { wall = std::min(wall, w), cpu = std::min(cpu, c); }
};

double CpuNow() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double WallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::vector<char> TonePcm(double seconds) {
    std::vector<char> pcm(static_cast<size_t>(seconds * 44100) * 4);
    for (size_t i = 0; i + 4 <= pcm.size(); i += 4) {
        auto sample =
            static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * double(i / 4) / 44100));
        std::memcpy(&pcm[i], &sample, 2);
        std::memcpy(&pcm[i + 2], &sample, 2);
    }
    return pcm;
}

void WriterAlone(const std::string& path, const std::vector<char>& pcm, int32_t interval,
                 Cost& cost) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    TMMWave wave;
    wave.FileMustExist = false;
    wave.UpdateIntervalMs = interval;
    wave.SetFileName(path);
    const double wall = WallNow(), cpu = CpuNow();
    wave.Create(format.get());
    for (size_t at = 0; at < pcm.size(); at += kPiece)
        if (!wave.Append(pcm.data() + at, std::min(kPiece, pcm.size() - at))) std::exit(1);
    wave.Finalise();
    cost.Keep(WallNow() - wall, CpuNow() - cpu);
    unlink(path.c_str());
}

// The converter at the 8K preset feeding the writer, as the recorder's chain does.
void ConverterAndWriter(const std::string& path, const std::vector<char>& pcm, int32_t interval,
                        Cost& cost) {
    TMMDSPComponent device("WaveIn_Mic");
    TMMACMConverter converter;
    TMMWaveFile writer;
    converter.SetQuality(TMMACMQuality::cqHigh);
    writer.Wave().SetFileName(path);
    writer.Wave().UpdateIntervalMs = interval;
    device.SetOutput(&converter);
    converter.SetOutput(&writer);
    device.SetPWaveFormat(BuildPCMFormat(2, 16, 44100).get());
    std::vector<uint8_t> record = StandardPreset("8K");
    converter.SetPWaveFormat(WaveFormatFromBytes(record.data(), record.size()).get());
    std::vector<char> buffer(kPiece);
    const double wall = WallNow(), cpu = CpuNow();
    for (TMMDSPComponent* element :
         {static_cast<TMMDSPComponent*>(&converter), static_cast<TMMDSPComponent*>(&writer)}) {
        element->SetBufferSize(kPiece);
        element->Opened();
    }
    converter.Started();
    writer.Started();
    for (size_t at = 0; at < pcm.size(); at += kPiece) {
        const size_t count = std::min(kPiece, pcm.size() - at);
        std::memcpy(buffer.data(), pcm.data() + at, count);
        TWaveHdr header{};
        header.lpData = buffer.data();
        header.dwBufferLength = kPiece;
        header.dwBytesRecorded = static_cast<uint32_t>(count);
        converter.BufferReady(&header);
    }
    converter.Stopped();
    writer.Stopped();
    converter.Closed();
    writer.Closed();
    cost.Keep(WallNow() - wall, CpuNow() - cpu);
    unlink(path.c_str());
}

void Print(const char* what, const char* unit, double ours, double peer, double seconds) {
    std::printf("%s (%s per second of sound): ours %.2f, peer %.2f (no updates), ratio %.3f\n",
                what, unit, ours / seconds * 1e6, peer / seconds * 1e6, ours / peer);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::vector<char> pcm = TonePcm(seconds);
    const std::string path = TempFolder() + "wave_update_bench.wav";
    Cost updated, plain;
    for (int round = 0; round < rounds; ++round) {
        WriterAlone(path, pcm, TMMWave::kDefaultUpdateIntervalMs, updated);
        WriterAlone(path, pcm, 0, plain);
    }
    Print("writer alone, PCM, wall", "us", updated.wall, plain.wall, seconds);
    Print("writer alone, PCM, cpu", "us", updated.cpu, plain.cpu, seconds);
    std::printf(
        "writer alone, PCM, throughput (MB/s): ours %.0f, peer %.0f (no updates), ratio %.3f\n",
        double(pcm.size()) / updated.wall / 1e6, double(pcm.size()) / plain.wall / 1e6,
        plain.wall / updated.wall);

    const std::vector<char> shortPcm = TonePcm(std::min(seconds, 60.0));
    const double shortSeconds = std::min(seconds, 60.0);
    Cost chainUpdated, chainPlain;
    for (int round = 0; round < rounds; ++round) {
        ConverterAndWriter(path, shortPcm, TMMWave::kDefaultUpdateIntervalMs, chainUpdated);
        ConverterAndWriter(path, shortPcm, 0, chainPlain);
    }
    Print("converter and writer, 8K, cpu", "us", chainUpdated.cpu, chainPlain.cpu, shortSeconds);
    Print("converter and writer, 8K, wall", "us", chainUpdated.wall, chainPlain.wall, shortSeconds);
    return 0;
}
