#include "LinkedFiles.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SafeFile.h"
#include "TempNames.h"

namespace murmel {
namespace {

constexpr int kMaxLinkHops = 40;  // the kernel's own limit on links in a row

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// A folder where another user may have put the link or may swap what it leads
// to: the temporary folder, a folder others may write, a sticky one.
bool SharedFolder(const std::string& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return true;
    if (info.st_mode & (S_IWOTH | S_ISVTX)) return true;
    const std::string real = RealPath(folder);
    return real.empty() || real == RealPath(TempFolder());
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw EFileError(path, "a link not written through (" + why + "), left as it is");
}

}  // namespace

std::string WriteThroughTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const uid_t user = geteuid();
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        if (SharedFolder(FolderOf(current)))
            Refuse(path, current + " is in a folder other users may write");
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) Refuse(path, current + ": " + std::strerror(errno));
            // A link to a file not made yet: it is made there, in a folder of the user.
            if (stat(FolderOf(current).c_str(), &info) != 0 || info.st_uid != user)
                Refuse(path, "it leads into a folder of another user");
            return current;
        }
        if (info.st_uid != user) Refuse(path, current + " belongs to another user");
        if (S_ISREG(info.st_mode)) return current;
        if (!S_ISLNK(info.st_mode)) Refuse(path, current + " is not a regular file");
        char buffer[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), buffer, sizeof buffer);
        if (length <= 0 || static_cast<size_t>(length) == sizeof buffer)
            Refuse(path, current + ": cannot read the link");
        const std::string next(buffer, static_cast<size_t>(length));
        current = next.front() == '/' ? next : FolderOf(current) + "/" + next;
    }
    Refuse(path, std::strerror(ELOOP));
}

}  // namespace murmel
