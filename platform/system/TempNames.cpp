#include "TempNames.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

namespace murmel {

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir && *dir) ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string MyGetTempFileName() {
    // Like the platform's unique-number names: up to four hex digits, then ".tmp".
    static std::atomic<unsigned> counter{static_cast<unsigned>(std::random_device{}())};
    const std::string folder = TempFolder();
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        unsigned number = (counter.fetch_add(1) + static_cast<unsigned>(getpid())) & 0xFFFF;
        if (number == 0) continue;
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp", number);
        std::string path = folder + name;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST) break;
    }
    throw std::runtime_error("Unable to create a temporary file in " + folder + ": " +
                             std::strerror(errno));
}

std::string ReserveTempNames(const std::vector<std::string>& extensions) {
    // Each round costs one base name; there are no more names than this to try.
    constexpr int kRounds = 0x10000;
    for (int round = 0; round < kRounds; ++round) {
        const std::string base = MyGetTempFileName();
        std::vector<std::string> made;
        int error = 0;
        for (const std::string& extension : extensions) {
            const std::string path = base + extension;
            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) {
                error = errno;
                break;
            }
            close(fd);
            made.push_back(path);
        }
        if (error == 0) return base;
        for (const std::string& path : made) unlink(path.c_str());
        unlink(base.c_str());
        if (error != EEXIST)
            throw std::runtime_error("Unable to create a temporary file in " + TempFolder() + ": " +
                                     std::strerror(error));
    }
    throw std::runtime_error("Unable to create a temporary file in " + TempFolder() +
                             ": every name is taken");
}

int CreateDerivedTempFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("Unable to create " + path + ": " + std::strerror(errno));
    return fd;
}

TempFile CreateTempFile(const std::string& extension) {
    // Each round takes a new base name; a planted file costs one round.
    constexpr int kRounds = 100;
    for (int round = 0;; ++round) {
        TempFile file;
        file.placeholder = MyGetTempFileName();
        file.path = file.placeholder + extension;
        file.fd =
            open(file.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file.fd >= 0) return file;
        const int error = errno;
        unlink(file.placeholder.c_str());
        if (error != EEXIST || round + 1 == kRounds)
            throw std::runtime_error("Unable to create " + file.path + ": " + std::strerror(error));
    }
}

}  // namespace murmel
