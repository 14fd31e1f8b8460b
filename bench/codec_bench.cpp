// Throughput, size and memory of the -lh5- codec against gzip -6 / gunzip and
// lhasa, each run as a whole command on files in a tmpfs folder.
//
//   codec_bench [--mb N] [--runs N]     (default 32 MB per data set, best of 3 rounds)
//
// Times are CPU seconds (user + system) of the command, so that other load on
// the machine does not count; memory is the command's peak resident size
// above that of an idle run of this program.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "PkStreamRoutines.h"
#include "codec_data.h"

namespace {

using murmel::bench::Bytes;

// Read in one piece: a growing buffer would add its copies to the peak memory.
Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes data(std::filesystem::file_size(path));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

void WriteAll(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

// This process's peak resident size in MiB. Measured here rather than through
// wait4: a forked child's figure starts with the (large) parent's.
double PeakMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

void WritePeak(const char* path) { std::ofstream(path) << PeakMegabytes() << "\n"; }

// Decodes straight to the file OUT, as `murmel-cli decompress` and the unpacking
// of a voice mail do: the codec hands over whole pieces that go to write(2).
bool DecompressToFile(const uint8_t* input, size_t size, const char* out) {
    const int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    murmel::DecompressStreamTo(input, size, [fd](const uint8_t* data, size_t count) {
        while (count > 0) {
            const ssize_t n = write(fd, data, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw std::runtime_error(std::strerror(errno));
            data += n;
            count -= static_cast<size_t>(n);
        }
    });
    return close(fd) == 0;
}

// The child modes: one codec call as a whole command, input mapped. --compress
// and --decompress-memory work in memory and write the output in one piece;
// --decompress writes it as it is decoded.
int RunCodec(const char* mode, const char* in, const char* out, const char* peakFile) {
    const int fd = open(in, O_RDONLY);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) return 1;
    const size_t size = static_cast<size_t>(info.st_size);
    void* mapped =
        size ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0) : nullptr;
    if (mapped == MAP_FAILED) return 1;
    const auto* input = static_cast<const uint8_t*>(mapped);
    murmel::ByteStream output;
    try {
        if (std::strcmp(mode, "--decompress") == 0) {
            if (!DecompressToFile(input, size, out)) return 1;
            WritePeak(peakFile);
            return 0;
        }
        if (std::strcmp(mode, "--compress") == 0) {
            murmel::CompressStream(input, size, output);
        } else {
            murmel::DecompressStream(input, size, output);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    WriteAll(out, output);
    WritePeak(peakFile);
    return 0;
}

struct Usage {
    double cpuSeconds = 0;
};

Usage Spawn(const std::vector<std::string>& arguments, bool hugePages = false) {
    const pid_t child = fork();
    if (child == 0) {
        if (hugePages) setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "command failed: %s\n", arguments.back().c_str());
        std::exit(1);
    }
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

struct Command {
    std::vector<std::string> arguments;
    bool hugePages = false;
};

Command ShellCommand(const std::string& line) { return {{"/bin/sh", "-c", line}}; }

// Runs the commands by turns, `runs` rounds, and keeps each one's best CPU time.
// On a shared machine the speed drifts over seconds; taken by turns, ours and the
// peers meet the same drift instead of one of them getting a slow stretch alone.
std::vector<Usage> BestByTurns(int runs, const std::vector<Command>& commands) {
    std::vector<Usage> best(commands.size());
    for (int round = 0; round < runs; ++round) {
        for (size_t i = 0; i < commands.size(); ++i) {
            const Usage next = Spawn(commands[i].arguments, commands[i].hugePages);
            if (round == 0 || next.cpuSeconds < best[i].cpuSeconds) best[i] = next;
        }
    }
    return best;
}

uint16_t Crc16(const Bytes& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// Our stream (size prefix dropped) behind an LHA level-0 header, for lhasa.
Bytes LhaArchive(const std::string& name, const Bytes& original, const Bytes& stream) {
    Bytes body = {'-', 'l', 'h', '5', '-'};
    auto put32 = [&body](uint32_t v) {
        for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put32(static_cast<uint32_t>(stream.size() - 4));
    put32(static_cast<uint32_t>(original.size()));
    put32(0x5A210000);
    body.insert(body.end(), {0x20, 0, static_cast<uint8_t>(name.size())});
    body.insert(body.end(), name.begin(), name.end());
    const uint16_t crc = Crc16(original);
    body.insert(body.end(), {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)});
    uint8_t sum = 0;
    for (uint8_t byte : body) sum = static_cast<uint8_t>(sum + byte);
    Bytes archive = {static_cast<uint8_t>(body.size()), sum};
    archive.insert(archive.end(), body.begin(), body.end());
    archive.insert(archive.end(), stream.begin() + 4, stream.end());
    archive.push_back(0);
    return archive;
}

void Line(const std::string& name, const char* unit, double ours, const std::string& peer,
          double theirs) {
    std::printf("%s: ours %.2f %s, peer %s %.2f %s, ratio %.2f\n", name.c_str(), ours, unit,
                peer.c_str(), theirs, unit, ours / theirs);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

void Check(const std::string& path, const Bytes& expected) {
    if (ReadAll(path) != expected) {
        std::fprintf(stderr, "%s differs from the input\n", path.c_str());
        std::exit(1);
    }
}

void Measure(const std::string& self, const std::string& folder, const std::string& label,
             const Bytes& data, int runs, double idleMegabytes) {
    const std::string in = folder + label + ".in";
    WriteAll(in, data);
    const double megabytes = static_cast<double>(data.size()) / 1e6;
    const auto speed = [megabytes](const Usage& u) {
        return megabytes / std::max(u.cpuSeconds, 1e-6);
    };

    // A peak file per command of ours: they run by turns.
    const auto peak = [&folder](const char* name) { return folder + "peak." + name; };
    const auto peakOf = [&peak](const char* name) {
        return std::strtod(ReadText(peak(name)).c_str(), nullptr);
    };
    const std::vector<Usage> compressing = BestByTurns(
        runs, {{{self, "--compress", in, in + ".lh5", peak("compress")}, true},
               ShellCommand("exec gzip -6 < '" + in + "' > '" + in + ".gz'")});
    const Usage ours = compressing[0];
    const Usage gzip = compressing[1];
    const double compressPeak = peakOf("compress");
    const Bytes stream = ReadAll(in + ".lh5");
    WriteAll(folder + "archive.lzh", LhaArchive(label + ".lhasa", data, stream));

    const std::string back = in + ".back";
    const std::vector<Usage> restoring = BestByTurns(
        runs, {{{self, "--decompress", in + ".lh5", back, peak("decompress")}, true},
               {{self, "--decompress", in + ".lh5", back + "4k", peak("decompress4k")}},
               {{self, "--decompress-memory", in + ".lh5", back + "m", peak("memory")}, true},
               {{self, "--decompress-memory", in + ".lh5", back + "m4k", peak("memory4k")}},
               ShellCommand("cd '" + folder + "' && exec lhasa -xqf archive.lzh"),
               ShellCommand("exec gzip -dc < '" + in + ".gz' > '" + in + ".gunzip'")});
    const Usage oursBack = restoring[0];
    const Usage oursSmallPages = restoring[1];
    const Usage oursMemory = restoring[2];
    const Usage oursMemorySmallPages = restoring[3];
    const Usage lhasa = restoring[4];
    const Usage gunzip = restoring[5];
    const double decompressPeak = peakOf("decompress");
    const double memoryPeak = peakOf("memory");
    for (const std::string& restored : {back, back + "4k", back + "m", back + "m4k",
                                        folder + label + ".lhasa", in + ".gunzip"}) {
        Check(restored, data);
        std::filesystem::remove(restored);
    }

    Line(label + " compress", "MB/s", speed(ours), "gzip -6", speed(gzip));
    Line(label + " decompress", "MB/s", speed(oursBack), "lhasa", speed(lhasa));
    Line(label + " decompress", "MB/s", speed(oursBack), "gunzip", speed(gunzip));
    Line(label + " decompress, 4 KiB pages", "MB/s", speed(oursSmallPages), "lhasa", speed(lhasa));
    Line(label + " decompress in memory", "MB/s", speed(oursMemory), "lhasa", speed(lhasa));
    Line(label + " decompress in memory", "MB/s", speed(oursMemory), "gunzip", speed(gunzip));
    Line(label + " decompress in memory, 4 KiB pages", "MB/s", speed(oursMemorySmallPages), "lhasa",
         speed(lhasa));
    const double gzipSize = static_cast<double>(std::filesystem::file_size(in + ".gz"));
    Line(label + " compressed size", "% of input",
         100.0 * static_cast<double>(stream.size()) / data.size(), "gzip -6",
         100.0 * gzipSize / data.size());
    const double limit = 3 * megabytes * 1e6 / (1 << 20) + 1;
    Line(label + " compress peak memory", "MiB", compressPeak - idleMegabytes,
         "limit 3x data + 1 MiB", limit);
    Line(label + " decompress peak memory", "MiB", decompressPeak - idleMegabytes,
         "limit 3x data + 1 MiB", limit);
    Line(label + " decompress in memory peak memory", "MiB", memoryPeak - idleMegabytes,
         "limit 3x data + 1 MiB", limit);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 &&
        (std::strcmp(argv[1], "--compress") == 0 || std::strcmp(argv[1], "--decompress") == 0 ||
         std::strcmp(argv[1], "--decompress-memory") == 0)) {
        return RunCodec(argv[1], argv[2], argv[3], argv[4]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--idle") == 0) {
        WritePeak(argv[2]);
        return 0;
    }
    size_t megabytes = 32;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mb") == 0) megabytes = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    char pattern[] = "/dev/shm/murmel-codec-bench.XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp in /dev/shm");
        return 1;
    }
    const std::string folder = std::string(pattern) + "/";
    Spawn({self, "--idle", folder + "peak"});
    const double idle = std::strtod(ReadText(folder + "peak").c_str(), nullptr);
    std::printf(
        "# %zu MB per data set, best of %d rounds in which the commands take turns; MB/s per\n"
        "# CPU second of each whole command.\n"
        "# Our commands map their input and run with glibc.malloc.hugetlb=1 (huge pages for the\n"
        "# in-memory output), except where 4 KiB pages are named. `decompress` writes the file\n"
        "# as it decodes, as murmel-cli does (like lhasa and gunzip); `decompress in memory`\n"
        "# restores the whole output in memory, then writes it. Peak memory: above an idle run.\n",
        megabytes, runs);
    Measure(self, folder, "voice-mail image", murmel::bench::VoiceMailImage(megabytes * 1000000),
            runs, idle);
    Measure(self, folder, "text", murmel::bench::EnglishLikeText(megabytes * 1000000), runs, idle);
    const Bytes system = murmel::bench::SystemText(megabytes * 1000000);
    if (system.size() >= 1000000) {
        std::printf("# system text: %zu bytes of /usr/share/doc change logs and copyright files\n",
                    system.size());
        Measure(self, folder, "system text", system, runs, idle);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
