// CPU seconds per second of audio for the recorder's chain minus the device
// (connector, reverb, ACM converter, wave file writer) at each quality preset,
// against the lame command encoding the same PCM at the same settings; at 2K
// also the chain with the voice cleaning at its head against the chain without,
// and the cleaner at 44.1 kHz (resampled for the library) against 48 kHz (as it is).
//   acm_bench [SECONDS_OF_AUDIO] [REPEATS]     (default 30 s, best of 5)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "MMACMCvt.h"
#include "MMConect.h"
#include "MMReverb.h"
#include "MMVoiceClean.h"
#include "MMWave.h"
#include "PresetsStore.h"
#include "TempNames.h"
#include "VoiceCleaner.h"

extern char** environ;

namespace murmel {
namespace {

constexpr uint32_t kRate = 44100;
constexpr size_t kBufferBytes = 2048;

// Speech-like test sound: a voiced tone with a wandering pitch and syllable-like
// loudness, some breath noise, and pauses.
std::vector<uint8_t> VoiceLikePcm(double seconds) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.02);
    auto frames = static_cast<size_t>(seconds * kRate);
    std::vector<uint8_t> bytes(frames * 4);
    double phase = 0;
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / kRate;
        double pitch = 140 + 40 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * pitch / kRate;
        double syllable =
            std::max(0.0, std::sin(2 * M_PI * 3.1 * t)) * (std::fmod(t, 4.0) < 3.2 ? 1 : 0);
        double voice = 0;
        for (int harmonic = 1; harmonic <= 12; ++harmonic)
            voice += std::sin(harmonic * phase) / harmonic;
        double left = 0.25 * syllable * voice + noise(random);
        double right = 0.9 * left + noise(random);
        for (int channel = 0; channel < 2; ++channel) {
            auto sample = static_cast<int16_t>(
                std::clamp(std::lrint((channel ? right : left) * 32767), -32768L, 32767L));
            std::memcpy(&bytes[i * 4 + channel * 2], &sample, 2);
        }
    }
    return bytes;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double Seconds(const timeval& value) { return double(value.tv_sec) + double(value.tv_usec) / 1e6; }

// The chain as the recorder builds it, fed in capture-sized buffers; returns the CPU time.
double RunChain(const std::vector<uint8_t>& pcm, const std::string& preset, const std::string& file,
                bool withConverterAndWriter, bool clean = false) {
    TMMDSPComponent device("WaveIn_Mic");
    TMMVoiceClean cleaning;
    TMMConnector connector;
    TMMReverb reverb;
    TMMACMConverter converter;
    TMMWaveFile writer;
    converter.SetQuality(TMMACMQuality::cqHigh);
    writer.Wave().SetFileName(file);
    cleaning.Enabled = clean;
    if (clean) {
        device.SetOutput(&cleaning);
        cleaning.SetOutput(&connector);
    } else {
        device.SetOutput(&connector);
    }
    connector.SetOutput(&reverb);
    if (withConverterAndWriter) {
        reverb.SetOutput(&converter);
        converter.SetOutput(&writer);
    }
    device.SetPWaveFormat(BuildPCMFormat(2, 16, kRate).get());
    if (!preset.empty()) {
        std::vector<uint8_t> record = StandardPreset(preset);
        converter.SetPWaveFormat(WaveFormatFromBytes(record.data(), record.size()).get());
    }
    std::vector<TMMDSPComponent*> chain = {&connector, &reverb};
    if (clean) chain.insert(chain.begin(), &cleaning);
    if (withConverterAndWriter) chain.insert(chain.end(), {&converter, &writer});

    std::vector<char> buffer(kBufferBytes);
    double start = ThreadCpuSeconds();
    for (TMMDSPComponent* element : chain) {
        element->SetBufferSize(kBufferBytes);
        element->Opened();
    }
    for (TMMDSPComponent* element : chain) element->Started();
    for (size_t offset = 0; offset < pcm.size(); offset += kBufferBytes) {
        size_t count = std::min(kBufferBytes, pcm.size() - offset);
        std::memcpy(buffer.data(), pcm.data() + offset, count);
        TWaveHdr header{};
        header.lpData = buffer.data();
        header.dwBufferLength = kBufferBytes;
        header.dwBytesRecorded = static_cast<uint32_t>(count);
        chain.front()->BufferReady(&header);
    }
    for (TMMDSPComponent* element : chain) element->Stopped();
    for (TMMDSPComponent* element : chain) element->Closed();
    return ThreadCpuSeconds() - start;
}

// The cleaner alone on the sound taken as captured at `rate`; returns the CPU time.
double RunCleaner(std::vector<uint8_t> pcm, int rate) {
    double start = ThreadCpuSeconds();
    VoiceCleaner cleaner(rate, 2);
    for (size_t offset = 0; offset < pcm.size(); offset += kBufferBytes) {
        size_t count = std::min(kBufferBytes, pcm.size() - offset);
        cleaner.Process(reinterpret_cast<int16_t*>(pcm.data() + offset), count / 4);
    }
    return ThreadCpuSeconds() - start;
}

// The lame command's arguments for a preset: the same rate, channels, bit rate
// and quality as the converter's stages.
std::vector<std::string> LameArguments(const std::string& preset, const std::string& in,
                                       const std::string& out) {
    std::vector<uint8_t> record = StandardPreset(preset);
    WaveFormatPtr format = WaveFormatFromBytes(record.data(), record.size());
    std::vector<std::string> args = {"lame",
                                     "--quiet",
                                     "-r",
                                     "-s",
                                     "44.1",
                                     "--bitwidth",
                                     "16",
                                     "--signed",
                                     "--little-endian",
                                     "--cbr",
                                     "-t",
                                     "-q",
                                     "2",
                                     "-b",
                                     std::to_string(format->nAvgBytesPerSec * 8 / 1000),
                                     "-m",
                                     format->nChannels == 1 ? "m" : "j"};
    // Always named: left to itself, lame encodes 44.1 kHz at 64 kbit/s as 24 kHz,
    // which is cheaper work than the preset's format.
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", format->nSamplesPerSec / 1000.0);
    args.insert(args.end(), {"--resample", rate});
    args.insert(args.end(), {in, out});
    return args;
}

// Runs the command and returns its CPU time (user + system), or -1.
double RunCommand(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // lame warns about raw input read through libsndfile; the figures are what matters.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

}  // namespace
}  // namespace murmel

int main(int argc, char** argv) {
    using namespace murmel;
    double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<uint8_t> pcm = VoiceLikePcm(seconds);
    std::string folder = TempFolder();
    std::string raw = folder + "acm_bench_input.raw", ours = folder + "acm_bench_ours.mp3",
                peer = folder + "acm_bench_peer.mp3";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));

    double passThrough = 1e9;
    for (int i = 0; i < repeats; ++i)
        passThrough = std::min(passThrough, RunChain(pcm, "", ours, false));
    for (const char* preset : {"1K", "2K", "4K", "8K"}) {
        double chain = 1e9, lame = 1e9;
        for (int i = 0; i < repeats; ++i) {
            chain = std::min(chain, RunChain(pcm, preset, ours, true));
            double command = RunCommand(LameArguments(preset, raw, peer));
            if (command < 0) {
                std::fprintf(stderr, "the lame command failed\n");
                return 1;
            }
            lame = std::min(lame, command);
        }
        std::printf("chain %s cpu s per audio s: ours %.5f, peer lame %.5f, ratio %.2f\n", preset,
                    chain / seconds, lame / seconds, chain / lame);
        std::printf("connector+reverb share of chain %s: ours %.5f, peer chain %.5f, ratio %.4f\n",
                    preset, passThrough / seconds, chain / seconds, passThrough / chain);
    }
    double plain = 1e9, cleaned = 1e9, resampled = 1e9, direct = 1e9;
    for (int i = 0; i < repeats; ++i) {
        plain = std::min(plain, RunChain(pcm, "2K", ours, true));
        cleaned = std::min(cleaned, RunChain(pcm, "2K", ours, true, true));
        resampled = std::min(resampled, RunCleaner(pcm, 44100));
        direct = std::min(direct, RunCleaner(pcm, 48000));
    }
    std::printf(
        "chain 2K with cleaning cpu s per audio s: ours %.5f, peer chain 2K %.5f, "
        "ratio %.2f\n",
        cleaned / seconds, plain / seconds, cleaned / plain);
    // The same samples as 48 kHz last 44.1/48 as long: compared per sample.
    std::printf(
        "cleaner at 44.1 kHz cpu s per audio s: ours %.5f, peer at 48 kHz %.5f, "
        "ratio %.2f\n",
        resampled / seconds, direct / seconds, resampled / direct);
    std::remove(raw.c_str());
    std::remove(ours.c_str());
    std::remove(peer.c_str());
    return 0;
}
