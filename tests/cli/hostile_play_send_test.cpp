// play and send against planted temporary files, signals, size bombs, FIFOs, and
// a server that never answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <filesystem>

#include "CliProcess.h"
#include "HostileFiles.h"
#include "PlayTestFiles.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

size_t EntriesIn(const std::string& path) {
    return size_t(std::distance(fs::directory_iterator(path), fs::directory_iterator()));
}

class HostilePlay : public testing::Test {
  protected:
    void SetUp() override {
        folder = test::FreshFolder("hostile-play");
        temporary = test::FreshFolder("hostile-play-tmp");
    }
    std::string folder, temporary;
};

TEST_F(HostilePlay, HangupPipeAndTerminateRemoveTheTemporaryFiles) {
    test::WriteVoiceMail(folder + "long.mvm", test::PcmWave(8000, 1, 20.0, 0, 0), "", "", false);
    for (int signal : {SIGHUP, SIGPIPE, SIGTERM}) {
        test::CliProcess process({"play", folder + "long.mvm"},
                                 {"MURMEL_AUDIO=null", "TMPDIR=" + temporary});
        ASSERT_TRUE(process.WaitFor([&] { return EntriesIn(temporary) == 6; })) << signal;
        process.Signal(signal);
        test::CliResult run = process.Finish(std::chrono::seconds(10));
        EXPECT_EQ(run.status, 0) << signal << run.err;
        EXPECT_EQ(EntriesIn(temporary), 0u) << signal;
    }
}

TEST_F(HostilePlay, PlantedTemporaryFilesAreNeitherWrittenNorRead) {
    MURMEL_NEED_ROOT();
    const std::string shared = test::SharedStickyFolder("hostile-play-shared");
    // Every other voice-track name another user could guess.
    for (unsigned number = 1; number <= 0xFFFF; number += 2) {
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp.mp3", number);
        test::PlantForeignFile(shared + name);
    }
    const size_t planted = EntriesIn(shared);
    test::WriteVoiceMail(folder + "short.mvm", test::PcmWave(8000, 1, 0.2, 440, 0.3), "", "",
                         false);
    test::CliResult run =
        test::RunCli({"play", folder + "short.mvm"}, {"MURMEL_AUDIO=null", "TMPDIR=" + shared});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(EntriesIn(shared), planted) << "ours are gone, theirs stay";
    for (const auto& entry : fs::directory_iterator(shared)) {
        struct stat info {};
        ASSERT_EQ(stat(entry.path().c_str(), &info), 0);
        ASSERT_EQ(info.st_size, 0) << entry.path() << " was written";
        ASSERT_EQ(info.st_uid, test::kOtherUser);
    }
}

TEST_F(HostilePlay, SizeBombIsRefusedBeforeAnythingIsWritten) {
    test::CliResult run =
        test::RunCli({"play", std::string(MURMEL_TEST_DATA) + "/invalid/mvm-size-bomb.mvm"},
                     {"MURMEL_AUDIO=null", "TMPDIR=" + temporary}, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Voice mail too large"), std::string::npos) << run.err;
    EXPECT_LT(run.peakKilobytes, 64 * 1024);
    EXPECT_EQ(EntriesIn(temporary), 0u);
}

// A program folder of its own, so that its settings file can be made hostile.
std::string ProgramCopy(const std::string& folder) {
    fs::create_directories(folder);
    fs::copy_file(std::string(MURMEL_PROGRAM_DIR) + "murmel-cli", folder + "murmel-cli",
                  fs::copy_options::overwrite_existing);
    return folder + "murmel-cli";
}

class HostileSend : public testing::Test {
  protected:
    void SetUp() override { folder = test::FreshFolder("hostile-send"); }
    std::string folder;
};

TEST_F(HostileSend, FifoAttachmentsAndBodiesFailAtOnce) {
    test::MakeFifo(folder + "fifo");
    test::CliResult run = test::RunCli(
        {"send", "--to", "a@example.org", "--subject", "s", "--attach", folder + "fifo"}, {},
        std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Cannot open file \"" + folder + "fifo\". not a regular file"),
              std::string::npos)
        << run.err;
    run = test::RunCli(
        {"send", "--to", "a@example.org", "--subject", "s", "--body-file", folder + "fifo"}, {},
        std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot read body file \"" + folder + "fifo\". not a regular file\n");
    run = test::RunCli({"send", "--to", "a@example.org", "--subject", "s", "--attach", "/dev/zero"},
                       {}, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
}

TEST_F(HostileSend, AFifoAsSettingsFileDoesNotHang) {
    const std::string program = ProgramCopy(folder + "program/");
    test::MakeFifo(folder + "program/user.dll");
    test::CliProcess process({"send", "--to", "a@example.org", "--subject", "s"}, {}, program);
    test::CliResult run = process.Finish(std::chrono::seconds(20));
    EXPECT_NE(run.signal, SIGKILL) << "hung on the FIFO";
    EXPECT_EQ(run.status, 1);
}

TEST_F(HostileSend, TerminateEndsASendToASilentServer) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);  // accepts in the backlog, never greets
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string program = ProgramCopy(folder + "program/");
    test::WriteFile(folder + "program/user.dll", "[SMTP]\r\nServerName=127.0.0.1\r\nServerPort=" +
                                                     std::to_string(ntohs(address.sin_port)) +
                                                     "\r\nEmailAdd=me@example.org\r\n");
    for (int signal : {SIGTERM, SIGHUP}) {
        test::CliProcess process({"send", "--to", "a@example.org", "--subject", "s"}, {}, program);
        ASSERT_TRUE(process.WaitFor([&] { return !process.Out().empty(); })) << signal;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        process.Signal(signal);
        test::CliResult run = process.Finish(std::chrono::seconds(5));
        EXPECT_EQ(run.status, 1) << signal << " " << run.out << run.err;
    }
    close(listener);
}

}  // namespace
