// The file rules every writer and reader relies on, against what users and other
// processes leave in their way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "HostileFiles.h"
#include "SafeFile.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

size_t EntriesIn(const std::string& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class SafeFileTest : public testing::Test {
  protected:
    void SetUp() override { folder = test::FreshFolder("safe-file"); }
    std::string folder;
};

TEST_F(SafeFileTest, ExclusiveCreationRefusesEveryExistingName) {
    test::WriteFile(folder + "victim", "precious");
    ASSERT_EQ(symlink((folder + "victim").c_str(), (folder + "link").c_str()), 0);
    ASSERT_EQ(symlink((folder + "nowhere").c_str(), (folder + "dangling").c_str()), 0);
    for (const char* name : {"victim", "link", "dangling"}) {
        try {
            CreateFileExclusive(folder + name, FileSharing::Private);
            ADD_FAILURE() << name << " was opened";
        } catch (const EFileError& error) {
            EXPECT_EQ(error.Path(), folder + name);
            EXPECT_EQ(std::string(error.what()), folder + name + ": File exists");
        }
    }
    EXPECT_EQ(test::ReadFile(folder + "victim"), "precious");
    EXPECT_FALSE(fs::exists(folder + "nowhere"));  // the dangling link made nothing

    int fd = CreateFileExclusive(folder + "new", FileSharing::Private);
    close(fd);
    EXPECT_EQ(ModeOf(folder + "new"), 0600u);
}

TEST_F(SafeFileTest, ReplacementKeepsModeAndLeavesNoTemporary) {
    test::WriteFile(folder + "mail.mvm", "old");
    chmod((folder + "mail.mvm").c_str(), 0640);
    ReplaceFileAtomically(folder + "mail.mvm", "new bytes", 9, FileSharing::Shared);
    EXPECT_EQ(test::ReadFile(folder + "mail.mvm"), "new bytes");
    EXPECT_EQ(ModeOf(folder + "mail.mvm"), 0640u);
    EXPECT_EQ(EntriesIn(folder), 1u);

    mode_t mask = umask(027);
    ReplaceFileAtomically(folder + "shared", "x", 1, FileSharing::Shared);
    ReplaceFileAtomically(folder + "private", "x", 1, FileSharing::Private);
    umask(mask);
    EXPECT_EQ(ModeOf(folder + "shared"), 0640u);
    EXPECT_EQ(ModeOf(folder + "private"), 0600u);
}

TEST_F(SafeFileTest, ReplacementNeverWritesThroughALink) {
    test::WriteFile(folder + "secret.txt", "secret");
    ASSERT_EQ(symlink((folder + "secret.txt").c_str(), (folder + "out").c_str()), 0);
    ReplaceFileAtomically(folder + "out", "mine", 4, FileSharing::Private);
    EXPECT_EQ(test::ReadFile(folder + "secret.txt"), "secret");
    EXPECT_FALSE(fs::is_symlink(folder + "out"));
    EXPECT_EQ(test::ReadFile(folder + "out"), "mine");
}

TEST_F(SafeFileTest, ReplacementRefusesWhatIsNotARegularFile) {
    fs::create_directory(folder + "dir");
    test::MakeFifo(folder + "fifo");
    for (const char* name : {"dir", "fifo"}) {
        try {
            ReplaceFileAtomically(folder + name, "x", 1, FileSharing::Private);
            ADD_FAILURE() << name << " was replaced";
        } catch (const EFileError& error) {
            EXPECT_EQ(std::string(error.what()), folder + name + ": not a regular file");
        }
    }
    EXPECT_TRUE(fs::is_directory(folder + "dir"));
    EXPECT_TRUE(fs::is_fifo(folder + "fifo"));
    EXPECT_EQ(EntriesIn(folder), 2u);
}

TEST_F(SafeFileTest, FailingWriterKeepsTheOldFile) {
    test::WriteFile(folder + "out", "old");
    EXPECT_THROW(ReplaceFileWith(folder + "out", FileSharing::Private,
                                 [](int) {
                                     errno = EIO;
                                     return false;
                                 }),
                 EFileError);
    EXPECT_THROW(ReplaceFileWith(folder + "out", FileSharing::Private,
                                 [](int) -> bool { throw std::runtime_error("corrupt"); }),
                 std::runtime_error);
    EXPECT_EQ(test::ReadFile(folder + "out"), "old");
    EXPECT_EQ(EntriesIn(folder), 1u);
}

TEST_F(SafeFileTest, ANameTooLongForASuffixStillReplaces) {
    const std::string name = folder + std::string(NAME_MAX, 'n');
    test::WriteFile(name, "old");
    ReplaceFileAtomically(name, "new", 3, FileSharing::Private);
    EXPECT_EQ(test::ReadFile(name), "new");
    EXPECT_EQ(EntriesIn(folder), 1u);
}

TEST_F(SafeFileTest, FullDiskKeepsTheOldFileAndSaysWhy) {
    test::SmallDisk disk("safe-file-disk", 64);
    MURMEL_NEED_SMALL_DISK(disk);
    const std::string path = disk.Path() + "mail.mvm";
    test::WriteFile(path, std::string(20000, 'o'));
    const std::string big(200000, 'n');
    try {
        ReplaceFileAtomically(path, big.data(), big.size(), FileSharing::Shared);
        ADD_FAILURE() << "a full disk went unnoticed";
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()), path + ": No space left on device");
    }
    EXPECT_EQ(test::ReadFile(path), std::string(20000, 'o'));
    EXPECT_EQ(EntriesIn(disk.Path()), 1u);
}

TEST_F(SafeFileTest, InputsMustBeRegularFilesOfBoundedSize) {
    test::MakeFifo(folder + "fifo");  // no writer: a blocking open would hang here
    fs::create_directory(folder + "dir");
    EXPECT_THROW(ReadRegularFile(folder + "fifo"), EFileError);
    EXPECT_THROW(ReadRegularFile("/dev/zero"), EFileError);
    try {
        ReadRegularFile(folder + "dir");
        ADD_FAILURE();
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()), folder + "dir: Is a directory");
    }
    try {
        ReadRegularFile(folder + "missing");
        ADD_FAILURE();
    } catch (const EFileError& error) {
        EXPECT_EQ(error.Reason(), "No such file or directory");
    }
    test::WriteFile(folder + "big", std::string(1001, 'b'));
    EXPECT_THROW(ReadRegularFile(folder + "big", 1000), EFileError);
    EXPECT_EQ(ReadRegularFile(folder + "big", 1001).size(), 1001u);
    // A link to a regular file is an ordinary input.
    ASSERT_EQ(symlink((folder + "big").c_str(), (folder + "link").c_str()), 0);
    EXPECT_EQ(ReadRegularFile(folder + "link").size(), 1001u);
    test::WriteFile(folder + "empty", "");
    EXPECT_TRUE(ReadRegularFile(folder + "empty").empty());
}

TEST_F(SafeFileTest, UmaskIsReadWithoutChangingIt) {
    mode_t old = umask(023);
    EXPECT_EQ(CurrentUmask(), 023u);
    EXPECT_EQ(umask(old), 023u);
}

}  // namespace
