#pragma once
// What a careless user or a hostile neighbour leaves on disk: a small file system
// that fills up, files owned by another user in a shared sticky folder, FIFOs.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestFiles.h"

namespace murmel::test {

constexpr uid_t kOtherUser = 65534;  // "nobody"

// A tmpfs of `kilobytes` mounted at a fresh folder for the test's lifetime.
// Mounting needs root (CI has it); Mounted() tells whether it worked.
class SmallDisk {
  public:
    SmallDisk(const std::string& name, int kilobytes) : path_(FreshFolder(name)) {
        const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0777";
        mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    const std::string& Path() const { return path_; }  // ends with "/"

  private:
    std::string path_;
    bool mounted_ = false;
};

#define MURMEL_NEED_SMALL_DISK(disk) \
    if (!(disk).Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)"
#define MURMEL_NEED_ROOT() \
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user"

// A world-writable sticky folder, like /tmp, owned by another user.
inline std::string SharedStickyFolder(const std::string& name) {
    const std::string folder = FreshFolder(name);
    chmod(folder.c_str(), 01777);
    if (chown(folder.c_str(), kOtherUser, kOtherUser) != 0) return folder;
    return folder;
}

// A file another user left, readable and writable by everyone.
inline void PlantForeignFile(const std::string& path, const std::string& bytes = "") {
    WriteFile(path, bytes);
    chmod(path.c_str(), 0666);
    if (chown(path.c_str(), kOtherUser, kOtherUser) != 0) return;
}

inline void MakeFifo(const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path; }

}  // namespace murmel::test
