// The trash: a file lands in it with an info file the desktop reads (compared
// with what `gio trash` writes for the same file), names never collide, and
// what is not a regular file stays where it is.
#include "Trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "SafeFile.h"
#include "TestFiles.h"

namespace murmel::test {
namespace {

namespace fs = std::filesystem;

std::string Line(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(Trash, AFileLandsInTheHomeTrashAsGioPutsIt) {
    const std::string data = std::getenv("XDG_DATA_HOME");
    const std::string folder = FreshFolder("trash me");
    const std::string file = folder + "录音 50%#.mp3";
    WriteFile(file, "sound");
    const std::string trashed = MoveToTrash(file);
    EXPECT_EQ(trashed, data + "/Trash/files/录音 50%#.mp3");
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(ReadFile(trashed), "sound");
    const std::string info = ReadFile(data + "/Trash/info/录音 50%#.mp3.trashinfo");
    EXPECT_EQ(info.substr(0, 13), "[Trash Info]\n");
    EXPECT_TRUE(
        std::regex_match(Line(info, "DeletionDate"),
                         std::regex("DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d")))
        << info;

    // A second file of the same name takes a name of its own.
    WriteFile(file, "second");
    EXPECT_EQ(MoveToTrash(file), data + "/Trash/files/录音 50%#.2.mp3");
    EXPECT_EQ(ReadFile(trashed), "sound");

    // What the desktop's own tool writes for the very same file.
    if (std::system("command -v gio >/dev/null") != 0) GTEST_SKIP() << "gio not installed";
    const std::string gioData = FreshFolder("gio data");
    WriteFile(file, "third");
    const std::string command = "XDG_DATA_HOME='" + gioData + "' gio trash '" + file + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string gioInfo = ReadFile(gioData + "Trash/info/录音 50%#.mp3.trashinfo");
    EXPECT_EQ(Line(info, "Path"), Line(gioInfo, "Path"));
    EXPECT_EQ(Line(info, "Path").size(), Line(gioInfo, "Path").size());
}

TEST(Trash, OnlyRegularFilesAreTrashed) {
    const std::string folder = FreshFolder("trash refuses");
    fs::create_directory(folder + "dir");
    fs::create_symlink(folder + "dir", folder + "link");
    EXPECT_THROW(MoveToTrash(folder + "dir"), EFileError);
    EXPECT_THROW(MoveToTrash(folder + "link"), EFileError);
    EXPECT_THROW(MoveToTrash(folder + "missing"), EFileError);
    EXPECT_TRUE(fs::is_directory(folder + "dir"));
    EXPECT_TRUE(fs::is_symlink(folder + "link"));
}

TEST(Trash, AnotherFileSystemHasItsOwnTrash) {
    struct stat shm {};
    struct stat data {};
    if (stat("/dev/shm", &shm) != 0 || access("/dev/shm", W_OK) != 0 ||
        stat(std::getenv("XDG_DATA_HOME"), &data) != 0 || shm.st_dev == data.st_dev)
        GTEST_SKIP() << "no second writable file system";
    const std::string folder = "/dev/shm/murmel-trash-" + std::to_string(getpid()) + "/";
    fs::create_directories(folder);
    WriteFile(folder + "a.mp3", "x");
    const std::string trash = "/dev/shm/.Trash-" + std::to_string(getuid()) + "/";
    const bool trashExisted = fs::exists(trash);
    const std::string trashed = MoveToTrash(folder + "a.mp3");
    EXPECT_EQ(trashed.substr(0, trash.size()), trash);
    const std::string name = trashed.substr(trash.size() + 6);
    EXPECT_EQ(Line(ReadFile(trash + "info/" + name + ".trashinfo"), "Path"),
              "Path=" + folder.substr(9) + "a.mp3")
        << "relative to the top directory";
    fs::remove(trashed);
    fs::remove(trash + "info/" + name + ".trashinfo");
    if (!trashExisted) fs::remove_all(trash);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace murmel::test
