// record against what must not be replaced, a start that fails, a full disk, and
// the signals of a closed terminal or pipe.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "CliProcess.h"
#include "HostileFiles.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kTone = {"MURMEL_CAPTURE=tone:440"};

uint32_t U32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + size_t(i)]);
    return value;
}

// A finalised RIFF file: its sizes are filled in and agree with the file.
void ExpectFinalised(const std::string& path) {
    const std::string wave = test::ReadFile(path);
    ASSERT_GE(wave.size(), 46u) << path;
    EXPECT_EQ(wave.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(wave, 4), wave.size() - 8);
    EXPECT_GT(U32(wave, 42), 0u) << "data size";
}

class HostileRecord : public testing::Test {
  protected:
    void SetUp() override { folder = test::FreshFolder("hostile-record"); }
    test::CliResult Record(const std::string& out, const std::string& seconds = "0.2") {
        return test::RunCli({"record", out, "--seconds", seconds, "--preset", "none"}, kTone);
    }
    std::string folder;
};

TEST_F(HostileRecord, RefusesWhatItMustNotReplace) {
    test::MakeFifo(folder + "fifo.mp3");
    test::WriteFile(folder + "notes.txt", "my notes");
    test::CliResult run = Record(folder + "fifo.mp3");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to create wave file: " + folder + "fifo.mp3: not a regular file\n");
    EXPECT_TRUE(fs::is_fifo(folder + "fifo.mp3"));
    run = Record(folder + "notes.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to create wave file: " + folder +
                           "notes.txt: not a wave file, left as it is\n");
    EXPECT_EQ(test::ReadFile(folder + "notes.txt"), "my notes");
    run = Record("/dev/null");  // as root, unlinking it would break the system
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // An old recording is replaced, as the recorder always did.
    ASSERT_EQ(Record(folder + "old.wav").status, 0);
    EXPECT_EQ(Record(folder + "old.wav").status, 0);
    ExpectFinalised(folder + "old.wav");
}

TEST_F(HostileRecord, AnotherUsersFileInASharedFolderIsLeftAlone) {
    MURMEL_NEED_ROOT();
    const std::string shared = test::SharedStickyFolder("hostile-record-shared");
    test::PlantForeignFile(shared + "take.mp3", "theirs");
    chmod((shared + "take.mp3").c_str(), 0444);
    test::CliResult run = Record(shared + "take.mp3");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::ReadFile(shared + "take.mp3"), "theirs");
}

// This user's journals in the temporary folder that hold something.
int OwnJournals(const std::string& tempFolder) {
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(tempFolder)) {
        struct stat info {};
        const std::string path = entry.path().string();
        if (path.ends_with(".journal") && lstat(path.c_str(), &info) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == geteuid() && info.st_size > 0)
            ++count;
    }
    return count;
}

TEST_F(HostileRecord, NamesAnotherUserHoldsOrLinksInASharedTemporaryFolderAreNeverUsed) {
    MURMEL_NEED_ROOT();
    const std::string shared = test::SharedStickyFolder("hostile-record-tmp");
    const std::string victim = folder + "bashrc";
    test::WriteFile(victim, "my own settings");
    // Of every four base names another user holds the voice track's name of one,
    // the journal's of the next, links the schedule's of the third to our file.
    for (unsigned number = 1; number <= 0xFFFF; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp", number);
        const std::string base = shared + name;
        if (number % 4 == 1) test::PlantForeignFile(base + ".mp3");
        if (number % 4 == 2) test::PlantForeignFile(base + ".journal");
        if (number % 4 == 3) {
            ASSERT_EQ(symlink(victim.c_str(), (base + ".Ctr").c_str()), 0);
            ASSERT_EQ(lchown((base + ".Ctr").c_str(), test::kOtherUser, test::kOtherUser), 0);
        }
    }
    for (int run = 0; run < 4; ++run) {
        const std::string out = folder + "mail" + std::to_string(run) + ".mvm";
        test::CliProcess process(
            {"record", out, "--preset", "none", "--music", MURMEL_TEST_DATA "/valid/play-organ.mid",
             "--slider", "50:60"},
            {"MURMEL_CAPTURE=tone:440", "MURMEL_AUDIO=null", "TMPDIR=" + shared});
        ASSERT_TRUE(process.WaitFor([&] { return !process.Out().empty(); })) << process.Err();
        EXPECT_EQ(OwnJournals(shared), 1) << "run " << run;
        process.Signal(SIGINT);
        test::CliResult result = process.Finish(std::chrono::seconds(10));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(test::ReadFile(victim), "my own settings") << "run " << run;
        EXPECT_GT(fs::file_size(out), 0u);
    }
}

TEST_F(HostileRecord, AStartThatFailsLeavesNoFile) {
    // An MPEG Layer-3 preset at 4369 Hz, which no converter reaches.
    const std::string presets = TempFolder() + "../config/vorn/Sonra/";
    fs::create_directories(presets);
    test::WriteFile(
        presets + "WaveFormat2K",
        std::string("U\0\1\0\x11\x11\0\0\xd0\x07\0\0\1\0\0\0\x0c\0\1\0\0\0\0\0\x48\0\1\0\x71\x05",
                    30));
    test::CliResult run =
        test::RunCli({"record", folder + "out.mp3", "--seconds", "1", "--preset", "2K"},
                     {"MURMEL_CAPTURE=tone:440", "XDG_CONFIG_HOME=" + TempFolder() + "../config"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(fs::exists(folder + "out.mp3"));
    for (const auto& entry : fs::directory_iterator(TempFolder()))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos)
            << entry.path() << ": no reservation or track left behind";
}

TEST_F(HostileRecord, AFullDiskIsReportedAndTheRecordingKept) {
    test::SmallDisk disk("hostile-record-disk", 128);
    MURMEL_NEED_SMALL_DISK(disk);
    test::CliResult run = Record(disk.Path() + "take.wav", "3");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, disk.Path() + "take.wav: No space left on device\n");
    // Nothing half-written at OUT; the recording waits in the temporary folder.
    EXPECT_FALSE(fs::exists(disk.Path() + "take.wav"));
    test::CliResult list = test::RunCli({"recover", "--list"}, kTone);
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("-> " + disk.Path() + "take.wav"), std::string::npos) << list.out;
}

TEST_F(HostileRecord, RecoverNeverReplacesWhatTookAKilledRecordingsPlace) {
    const std::string out = folder + "take.wav";
    test::CliProcess process({"record", out, "--preset", "none"}, kTone);
    ASSERT_TRUE(process.WaitFor([&] { return !process.Out().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    process.Signal(SIGKILL);
    process.Finish(std::chrono::seconds(10));
    test::WriteFile(out, "notes written since");  // what `record` itself refuses to replace
    test::CliResult run = test::RunCli({"recover"}, kTone);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::ReadFile(out), "notes written since");
    // The note says where it went instead.
    const std::string note = out + ": is taken by another file; saved as ";
    const size_t at = run.err.find(note);
    ASSERT_NE(at, std::string::npos) << run.err;
    const size_t end = run.err.find(" instead", at);
    ASSERT_NE(end, std::string::npos) << run.err;
    const std::string saved = run.err.substr(at + note.size(), end - at - note.size());
    EXPECT_NE(saved.find("/MyVoice/"), std::string::npos) << saved;
    EXPECT_NE(run.out.find("recovered " + saved + "\n"), std::string::npos) << run.out;
    ExpectFinalised(saved);
    fs::remove(saved);
}

TEST_F(HostileRecord, HangupPipeAndTerminateFinaliseTheFile) {
    for (int signal : {SIGHUP, SIGPIPE, SIGTERM}) {
        const std::string out = folder + "signal" + std::to_string(signal) + ".wav";
        test::CliProcess process({"record", out, "--preset", "none"}, kTone);
        ASSERT_TRUE(process.WaitFor([&] { return !process.Out().empty(); })) << signal;
        process.Signal(signal);
        test::CliResult run = process.Finish(std::chrono::seconds(10));
        EXPECT_EQ(run.status, 0) << signal << run.err;
        ExpectFinalised(out);
    }
}

}  // namespace
