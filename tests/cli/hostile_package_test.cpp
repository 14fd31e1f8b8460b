// pack, unpack, list, compress and decompress against planted links, FIFOs and
// devices, full disks, weak keys, size bombs and names made to trick a terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "CliProcess.h"
#include "HostileFiles.h"
#include "PkStreamCol.h"

using namespace murmel;
using test::RunCli;
namespace fs = std::filesystem;

namespace {

const std::string kData = MURMEL_TEST_DATA;

class HostileTest : public testing::Test {
  protected:
    void SetUp() override {
        folder = test::FreshFolder("hostile");
        test::WriteFile(folder + "voice.wav", "RIFF voice");
        test::WriteFile(folder + "tune.mid", "MThd tune");
    }
    // A voice mail of the given (GBK) names, each holding "data of NAME".
    std::string VoiceMail(const std::vector<std::string>& names, bool compressed = true) {
        TPkStreams streams;
        streams.Compressed = compressed;
        for (const std::string& name : names) {
            const std::string data = "data of " + name;
            streams.AddStream(name, reinterpret_cast<const uint8_t*>(data.data()), data.size());
        }
        streams.SaveToFile(folder + "mail.mvm");
        return folder + "mail.mvm";
    }
    size_t EntriesIn(const std::string& path) {
        return size_t(std::distance(fs::directory_iterator(path), fs::directory_iterator()));
    }
    std::string folder;
};

using HostileUnpack = HostileTest;
using HostilePack = HostileTest;
using HostileList = HostileTest;
using HostileCodec = HostileTest;

TEST_F(HostileUnpack, PlantedLinksAreNeverFollowed) {
    const std::string mail = VoiceMail({"Mp3File", "BGMusic"});
    test::WriteFile(folder + "secret.txt", "secret");
    fs::create_directory(folder + "out");
    fs::create_symlink("../secret.txt", folder + "out/Mp3File");
    fs::create_symlink("../outside", folder + "out/BGMusic");  // dangling

    test::CliResult run = RunCli({"unpack", mail, folder + "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("already exists: nothing unpacked (--force replaces it)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(test::ReadFile(folder + "secret.txt"), "secret");
    EXPECT_FALSE(fs::exists(folder + "outside"));

    run = RunCli({"unpack", mail, folder + "out", "--force"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::ReadFile(folder + "secret.txt"), "secret");
    EXPECT_FALSE(fs::exists(folder + "outside"));
    EXPECT_FALSE(fs::is_symlink(folder + "out/Mp3File"));
    EXPECT_EQ(test::ReadFile(folder + "out/Mp3File"), "data of Mp3File");
    EXPECT_EQ(test::ReadFile(folder + "out/BGMusic"), "data of BGMusic");
    EXPECT_EQ(EntriesIn(folder + "out"), 2u);
}

TEST_F(HostileUnpack, ExistingFilesAndDotfilesAreNotReplacedSilently) {
    const std::string mail = VoiceMail({".profile", "Mp3File"});
    fs::create_directory(folder + "out");
    test::WriteFile(folder + "out/.profile", "mine");
    EXPECT_EQ(RunCli({"unpack", mail, folder + "out"}).status, 1);
    EXPECT_EQ(test::ReadFile(folder + "out/.profile"), "mine");
    EXPECT_FALSE(fs::exists(folder + "out/Mp3File")) << "checked before anything is written";
}

TEST_F(HostileUnpack, DevicesAndFifosInTheWayAreNotWrittenEvenWithForce) {
    const std::string mail = VoiceMail({"Mp3File"});
    fs::create_directory(folder + "out");
    test::MakeFifo(folder + "out/Mp3File");  // writing into it would block
    test::CliResult run =
        RunCli({"unpack", mail, folder + "out", "--force"}, {}, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, folder + "out/Mp3File: not a regular file\n");
    EXPECT_TRUE(fs::is_fifo(folder + "out/Mp3File"));
}

TEST_F(HostileUnpack, NamesWithTerminalEscapesAreRefusedAndListedEscaped) {
    const std::string mail = VoiceMail({"Mp3File", "evil\x1b]0;owned\x07\nname"});
    test::CliResult run = RunCli({"unpack", mail, folder + "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "unsafe entry name \"evil\\x1b]0;owned\\x07\\x0aname\": nothing unpacked\n");
    EXPECT_FALSE(fs::exists(folder + "out"));
    run = RunCli({"list", mail});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("  evil\\x1b]0;owned\\x07\\x0aname\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
}

TEST_F(HostileUnpack, AFullDiskRemovesWhatThisRunCreatedAndSaysWhy) {
    test::SmallDisk disk("hostile-unpack-disk", 64);
    MURMEL_NEED_SMALL_DISK(disk);
    TPkStreams streams;
    streams.AddStream("a", ByteStream(40000, 1));
    streams.AddStream("b", ByteStream(40000, 2));
    streams.SaveToFile(folder + "big.mvm");
    test::CliResult run = RunCli({"unpack", folder + "big.mvm", disk.Path()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, disk.Path() + "b: No space left on device\n");
    EXPECT_EQ(EntriesIn(disk.Path()), 0u);
}

TEST_F(HostilePack, FifosAndDevicesAsInputsFailAtOnce) {
    test::MakeFifo(folder + "fifo");
    for (const std::string& input : {folder + "fifo", std::string("/dev/zero")}) {
        test::CliResult run =
            RunCli({"pack", folder + "out.mvm", "Mp3File=" + input}, {}, std::chrono::seconds(10));
        EXPECT_EQ(run.status, 1) << input;
        EXPECT_EQ(run.err, "Cannot open file \"" + input + "\". not a regular file\n");
        EXPECT_LT(run.peakKilobytes, 100 * 1024);
    }
    EXPECT_FALSE(fs::exists(folder + "out.mvm"));
}

TEST_F(HostilePack, WeakKeyIsRefusedAndTheOldFileStays) {
    test::WriteFile(folder + "out.mvm", "old");
    test::CliResult run =
        RunCli({"pack", folder + "out.mvm", "Mp3File=" + folder + "voice.wav", "--key", "k69185"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("choose another key"), std::string::npos) << run.err;
    EXPECT_EQ(test::ReadFile(folder + "out.mvm"), "old");
}

TEST_F(HostilePack, AFullDiskKeepsTheOldVoiceMail) {
    test::SmallDisk disk("hostile-pack-disk", 64);
    MURMEL_NEED_SMALL_DISK(disk);
    test::WriteFile(disk.Path() + "mail.mvm", "old voice mail");
    test::WriteFile(folder + "noise", std::string(100000, 'n'));
    test::CliResult run =
        RunCli({"pack", disk.Path() + "mail.mvm", "Mp3File=" + folder + "noise", "--plain"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Cannot create file \"" + disk.Path() + "mail.mvm\". No space left on device\n");
    EXPECT_EQ(test::ReadFile(disk.Path() + "mail.mvm"), "old voice mail");
    EXPECT_EQ(EntriesIn(disk.Path()), 1u);
}

TEST_F(HostileList, SizeBombIsRefusedQuicklyAndSmall) {
    test::CliResult run =
        RunCli({"list", kData + "/invalid/mvm-size-bomb.mvm"}, {}, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Voice mail too large: 2000000025 bytes, at most " +
                           std::to_string(MaxImageFromCompressed(955)) + "\n");
    EXPECT_LT(run.peakKilobytes, 64 * 1024);
}

TEST_F(HostileList, FifoIsRefusedWithoutWaiting) {
    test::MakeFifo(folder + "fifo.mvm");
    test::CliResult run = RunCli({"list", folder + "fifo.mvm"}, {}, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot open file \"" + folder + "fifo.mvm\". not a regular file\n");
}

TEST_F(HostileCodec, DecompressStreamsABombInBoundedMemory) {
    test::CliResult run =
        RunCli({"decompress", kData + "/valid/lh5-zeros-64m.lh5", folder + "zeros"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::file_size(folder + "zeros"), uint64_t(64) << 20);
    // Well under the 64 MiB that holding the output would take, with room for the
    // sanitizers' own shadow memory in the checked build.
    EXPECT_LT(run.peakKilobytes, 56 * 1024);
}

TEST_F(HostileCodec, AFullDiskOrDamageKeepsTheOldOutput) {
    test::SmallDisk disk("hostile-codec-disk", 256);
    MURMEL_NEED_SMALL_DISK(disk);
    test::WriteFile(disk.Path() + "out", "old output");
    test::CliResult run =
        RunCli({"decompress", kData + "/valid/lh5-zeros-64m.lh5", disk.Path() + "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, disk.Path() + "out: No space left on device\n");
    run = RunCli({"decompress", kData + "/invalid/lh5-truncated.lh5", disk.Path() + "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Compressed file is corrupt\n");
    EXPECT_EQ(test::ReadFile(disk.Path() + "out"), "old output");
    EXPECT_EQ(EntriesIn(disk.Path()), 1u);
    test::MakeFifo(folder + "fifo");
    EXPECT_EQ(
        RunCli({"compress", folder + "fifo", folder + "out"}, {}, std::chrono::seconds(10)).status,
        1);
}

TEST_F(HostileCodec, InterruptedDecompressionLeavesNoTemporary) {
    const std::string out = folder + "int/";
    fs::create_directory(out);
    const std::string bomb = kData + "/invalid/mvm-size-bomb.mvm";
    // The bomb's stream behind its two flag bytes: 2 GB of output, time to interrupt.
    const std::string bytes = test::ReadFile(bomb).substr(2);
    test::WriteFile(folder + "bomb.lh5", bytes);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        test::WriteFile(out + "zeros", "old");
        test::CliProcess process({"decompress", folder + "bomb.lh5", out + "zeros"});
        ASSERT_TRUE(process.WaitFor([&] { return EntriesIn(out) == 2; })) << signal;
        process.Signal(signal);
        test::CliResult run = process.Finish(std::chrono::seconds(10));
        EXPECT_EQ(run.status, 1) << signal;
        EXPECT_EQ(test::ReadFile(out + "zeros"), "old");
        EXPECT_EQ(EntriesIn(out), 1u) << signal;
    }
}

}  // namespace
