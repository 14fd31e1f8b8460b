#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace murmel {

std::string FileErrorText(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

int CreateFileExclusive(const std::string& path, FileSharing sharing) {
    mode_t mode = sharing == FileSharing::Private ? 0600 : 0666;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) throw EFileError(FileErrorText(path, errno));
    return fd;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

PendingReplacement::PendingReplacement(const std::string& path, FileSharing sharing) : target(path) {
    struct stat info {};
    bool exists = lstat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) Fail(EINVAL);
    if (exists && S_ISREG(info.st_mode) && access(path.c_str(), W_OK) != 0) Fail(EACCES);
    temporary = path + ".XXXXXX";
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        temporary.clear();
        Fail(errno);
    }
    mode_t mode = 0600;
    if (exists && S_ISREG(info.st_mode)) {
        mode = info.st_mode & 07777;
    } else if (sharing == FileSharing::Shared) {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) Fail(errno);
}

PendingReplacement::~PendingReplacement() {
    if (fd >= 0) close(fd);
    if (!temporary.empty()) unlink(temporary.c_str());
}

void PendingReplacement::Fail(int error) {
    if (error == EINVAL) throw EFileError(target + ": not a regular file");
    throw EFileError(FileErrorText(target, error));
}

void PendingReplacement::Commit() {
    if (fsync(fd) != 0) Fail(errno);
    int closed = close(fd);
    fd = -1;
    if (closed != 0) Fail(errno);
    if (rename(temporary.c_str(), target.c_str()) != 0) Fail(errno);
    temporary.clear();
}

void ReplaceFileAtomically(const std::string& path, const void* data, size_t size, FileSharing sharing) {
    ReplaceFileWith(path, sharing, [&](int fd) { return WriteAll(fd, data, size); });
}

int OpenRegularFile(const std::string& path, uint64_t* size, uint64_t limit) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; cleared again below.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EFileError(FileErrorText(path, errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw EFileError(path + ": not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        close(fd);
        throw EFileError(path + ": file too large (" + std::to_string(info.st_size) + " bytes)");
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (size) *size = static_cast<uint64_t>(info.st_size);
    return fd;
}

std::vector<uint8_t> ReadRegularFile(const std::string& path, uint64_t limit) {
    uint64_t size = 0;
    int fd = OpenRegularFile(path, &size, limit);
    std::vector<uint8_t> data(size);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            close(fd);
            throw EFileError(FileErrorText(path, error));
        }
        if (n == 0) break;  // the file shrank while we read it
        done += static_cast<size_t>(n);
    }
    close(fd);
    data.resize(done);
    return data;
}

}  // namespace murmel
