#include "SafeFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace murmel {
namespace {

// Longest file name the usual file systems take.
constexpr size_t kMaxNameBytes = NAME_MAX;
constexpr const char* kTemporarySuffix = ".XXXXXX";

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// Beside the target, so the rename stays on one file system; a name too long for
// a suffix gets a short hidden one in the same folder.
std::string TemporaryPattern(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameBytes = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    if (nameBytes + std::strlen(kTemporarySuffix) <= kMaxNameBytes) return path + kTemporarySuffix;
    return FolderOf(path) + "/.murmel" + kTemporarySuffix;
}

// The rename is durable only once the folder's entry is on disk; a folder that
// cannot be synced (some network file systems) is no reason to fail.
void SyncFolderOf(const std::string& path) {
    int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

EFileError::EFileError(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), path_(path), reason_(reason) {}

EFileError::EFileError(const std::string& path, int error)
    : EFileError(path, std::string(std::strerror(error))) {}

EFileError::EFileError(const std::string& message) : std::runtime_error(message), reason_(message) {}

std::string FileErrorText(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

unsigned CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
    // Without /proc: the classic query, which briefly changes the mask.
    mode_t mask = umask(022);
    umask(mask);
    return mask;
}

int CreateFileExclusive(const std::string& path, FileSharing sharing) {
    mode_t mode = sharing == FileSharing::Private ? 0600 : 0666;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) throw EFileError(path, errno);
    return fd;
}

size_t ReadAllAt(int fd, uint64_t offset, void* out, size_t count) {
    char* bytes = static_cast<char*>(out);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
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

PendingReplacement::PendingReplacement(const std::string& path, FileSharing sharing)
    : target(path) {
    struct stat info {};
    const bool exists = lstat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
        throw EFileError(path, "not a regular file");
    if (exists && S_ISREG(info.st_mode) && access(path.c_str(), W_OK) != 0) Fail(errno);
    temporary = TemporaryPattern(path);
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        temporary.clear();
        Fail(errno);
    }
    mode_t mode = 0600;
    if (exists && S_ISREG(info.st_mode)) {
        mode = info.st_mode & 07777;
    } else if (sharing == FileSharing::Shared) {
        mode = 0666 & ~static_cast<mode_t>(CurrentUmask());
    }
    if (fchmod(fd, mode) != 0) {
        const int error = errno;
        Discard();  // a throwing constructor runs no destructor
        Fail(error);
    }
}

PendingReplacement::~PendingReplacement() { Discard(); }

void PendingReplacement::Discard() {
    if (fd >= 0) close(fd);
    fd = -1;
    if (!temporary.empty()) unlink(temporary.c_str());
    temporary.clear();
}

void PendingReplacement::Fail(int error) { throw EFileError(target, error); }

void PendingReplacement::Commit() {
    if (fsync(fd) != 0) Fail(errno);
    int closed = close(fd);
    fd = -1;
    if (closed != 0) Fail(errno);
    if (rename(temporary.c_str(), target.c_str()) != 0) Fail(errno);
    temporary.clear();
    SyncFolderOf(target);
}

void ReplaceFileAtomically(const std::string& path, const void* data, size_t size,
                           FileSharing sharing) {
    ReplaceFileWith(path, sharing, [&](int fd) { return WriteAll(fd, data, size); });
}

int OpenRegularFile(const std::string& path, uint64_t* size, uint64_t limit) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw EFileError(path,
                         S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    // O_NONBLOCK: should a FIFO have taken the name meanwhile, opening it must not
    // wait for a writer; cleared again below.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EFileError(path, errno);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw EFileError(path, "not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        close(fd);
        throw EFileError(path, "file too large (" + std::to_string(info.st_size) +
                                   " bytes, at most " + std::to_string(limit) + ")");
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
            throw EFileError(path, error);
        }
        if (n == 0) break;  // the file shrank while we read it
        done += static_cast<size_t>(n);
    }
    close(fd);
    data.resize(done);
    return data;
}

}  // namespace murmel
