// Seeking and exporting a 2-minute voice mail whose schedule holds 10,000 entries,
// beside the same voice mail with 10 (target: ratio close to 1: the schedule is
// read once per opening, a jump is a search and a tick a look-up).
// Usage: schedule_bench [ENTRIES]  (default 10000)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "PlayTestFiles.h"
#include "PlayerCore.h"
#include "RenderOutput.h"
#include "VoiceMailExport.h"

using namespace murmel;
using namespace murmel::test;

namespace {

constexpr double kVoiceSeconds = 120;
constexpr int kJumps = 200;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A silent voice and a schedule of `entries` moves spread over the voice's length.
std::string Mail(const std::string& folder, int entries) {
    std::vector<std::pair<int, int>> moves;
    for (int n = 0; n < entries; ++n)
        moves.emplace_back(static_cast<int>(kVoiceSeconds * 1000 * n / entries), 1 + n % 9);
    const std::string path = folder + std::to_string(entries) + ".mvm";
    WriteVoiceMail(path, PcmWave(8000, 1, kVoiceSeconds, 0, 0), "", ScheduleText(moves), true);
    return path;
}

// Seconds for opening the voice mail and jumping about in it kJumps times.
double Seeking(const std::string& mail) {
    RenderOutput output("/dev/null");
    PlayerListener listener;
    PlayerCore core(output, listener);
    const auto start = std::chrono::steady_clock::now();
    core.ExecuteMVMFile(mail);
    for (int jump = 0; jump < kJumps; ++jump)
        core.Seek(static_cast<int64_t>(kVoiceSeconds * 1000) * ((jump * 37) % kJumps) / kJumps);
    return Since(start);
}

double Exporting(const std::string& mail, const std::string& target) {
    const auto start = std::chrono::steady_clock::now();
    ExportVoiceMail(mail, target, {});
    return Since(start);
}

void Print(const char* name, double ours, double peer) {
    std::printf("%s: ours %.3f s, peer %.3f s, ratio %.2f\n", name, ours, peer, ours / peer);
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string folder =
        TempFolder() + "murmel-schedule-bench-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);
    const std::string many = Mail(folder, entries), few = Mail(folder, 10);
    const std::string name = std::to_string(entries) + " entries";
    Print(("open and seek " + std::to_string(kJumps) + " times, " + name + " beside 10").c_str(),
          Seeking(many), Seeking(few));
    Print(("export, " + name + " beside 10").c_str(), Exporting(many, folder + "many.mp3"),
          Exporting(few, folder + "few.mp3"));
    std::filesystem::remove_all(folder);
    return 0;
}
