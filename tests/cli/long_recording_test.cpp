// A recording of three hours at the PCM format (the one used when no preset is
// installed, 44.1 kHz stereo 16-bit: about 1.9 GB) made with a fast file capture,
// then saved and packed with its tune, and a second one killed at three hours and
// recovered: every step within a memory far below the track's size.
// MURMEL_LONG_SECONDS shortens it for a quick look.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "CliProcess.h"
#include "PkStreamFiles.h"
#include "PlayTestFiles.h"

using namespace murmel;

namespace {

constexpr long kMemoryBoundKilobytes = 256 * 1024;  // the track is 1.9 GB
constexpr uint64_t kFrameBytes = 4;                // stereo 16-bit

double Seconds() {
    const char* text = std::getenv("MURMEL_LONG_SECONDS");
    return text ? std::atof(text) : 3 * 3600.0;
}

// A PCM source of `seconds` at 44.1 kHz stereo: quiet noise that does not repeat
// within the codec's window, so it packs about as badly as a real microphone's.
void WriteSource(const std::string& path, double seconds) {
    const uint64_t bytes = static_cast<uint64_t>(seconds * 44100) * kFrameBytes;
    std::string header = "RIFF";
    test::PutLE(header, static_cast<uint32_t>(bytes + 36), 4);
    header += "WAVEfmt ";
    test::PutLE(header, 16, 4);
    header += test::PcmFormat(44100, 2, 16);
    header += "data";
    test::PutLE(header, static_cast<uint32_t>(bytes), 4);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(header.data(), 1, header.size(), file);
    std::vector<int16_t> block(1 << 17);  // 256 KB, then repeated
    std::mt19937 random(7);
    for (int16_t& sample : block) sample = static_cast<int16_t>(random() % 600) - 300;
    for (uint64_t done = 0; done < bytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes - done, block.size() * 2));
        ASSERT_EQ(std::fwrite(block.data(), 1, n, file), n);
        done += n;
    }
    ASSERT_EQ(std::fclose(file), 0);
}

uint64_t FileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// The entries of a voice mail and their sizes, read as the player reads it.
class EntrySizes : public PackReader {
  public:
    void EntryBegins(std::string_view name, uint32_t size) override {
        sizes[std::string(name)] = size;
    }
    void EntryData(const uint8_t*, size_t) override {}
    void EntryEnds() override {}
    std::map<std::string, uint64_t> sizes;
};

std::map<std::string, uint64_t> Entries(const std::string& path) {
    FileSource file(path);
    EntrySizes reader;
    LoadPackedStreams(file.AsSource(), file.Size(), reader);
    return reader.sizes;
}

// The voice track's bytes when `seconds` of PCM were recorded: header, data, trailer.
uint64_t TrackBytes(double seconds) {
    return static_cast<uint64_t>(std::llround(seconds * 44100)) * kFrameBytes;
}

}  // namespace

TEST(LongRecording, ThreeHoursOfPcmSavePackAndRecoverInBoundedMemory) {
    const double seconds = Seconds();
    const std::string folder = test::FreshFolder("long");
    const std::string temporary = test::FreshFolder("long-tmp");
    const std::string source = folder + "source.wav";
    WriteSource(source, seconds + 600);  // more, so the second run is killed before its end
    test::WriteFile(folder + "tune.mid", test::MidiTune(4));
    const std::vector<std::string> environment{"MURMEL_CAPTURE=file-fast:" + source,
                                               "MURMEL_AUDIO=null", "TMPDIR=" + temporary};
    const std::string duration = std::to_string(static_cast<int>(seconds));

    // Recorded, saved and packed with its tune by the recorder's own steps.
    test::CliProcess record({"record", folder + "saved.mvm", "--seconds", duration, "--preset",
                             "none", "--music", folder + "tune.mid", "--slider", "1000:40"},
                            environment);
    test::CliResult run = record.Finish(std::chrono::minutes(30));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.peakKilobytes, kMemoryBoundKilobytes);
    std::printf("record and pack: peak %ld KB, voice mail %llu bytes\n", run.peakKilobytes,
                static_cast<unsigned long long>(FileSize(folder + "saved.mvm")));
    auto entries = Entries(folder + "saved.mvm");
    EXPECT_GE(entries["Mp3File"], TrackBytes(seconds));
    EXPECT_LT(entries["Mp3File"], TrackBytes(seconds) + 4096);
    EXPECT_EQ(entries["BGMusic"], FileSize(folder + "tune.mid"));
    std::filesystem::remove(folder + "saved.mvm");

    // Killed once three hours are on the disk, and recovered into its target.
    test::CliProcess killed({"record", folder + "recovered.mvm", "--preset", "none", "--music",
                             folder + "tune.mid"},
                            environment);
    const auto track = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(temporary))
            if (entry.path().extension() == ".mp3" && FileSize(entry.path()) >= TrackBytes(seconds))
                return true;
        return false;
    };
    ASSERT_TRUE(killed.WaitFor(track, std::chrono::minutes(30)));
    killed.Signal(SIGKILL);
    killed.Finish();
    test::CliProcess recover({"recover"}, environment);
    run = recover.Finish(std::chrono::minutes(30));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.peakKilobytes, kMemoryBoundKilobytes);
    std::printf("recover: peak %ld KB\n", run.peakKilobytes);
    entries = Entries(folder + "recovered.mvm");
    EXPECT_GE(entries["Mp3File"], TrackBytes(seconds));
    EXPECT_EQ(entries["BGMusic"], FileSize(folder + "tune.mid"));
    std::filesystem::remove_all(folder);
}
