#include "Trash.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "SafeFile.h"

namespace murmel {
namespace {

// Names tried for one file before giving up ("a.mp3", "a.2.mp3", ...).
constexpr int kMaxTrashNames = 10000;

struct TrashFolder {
    std::string root;  // ends with "/"
    std::string top;   // the top directory the info paths are relative to; empty: absolute
};

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) throw EFileError(path, errno);
    std::string absolute = std::string(cwd) + "/" + path;
    free(cwd);
    return absolute;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A folder of ours: created 0700 when missing; an existing one must be a real
// folder, never a link someone put in its place.
void EnsureFolder(const std::string& folder) {
    if (mkdir(folder.c_str(), 0700) == 0) return;
    int error = errno;
    if (error == ENOENT && folder.size() > 1) {
        EnsureFolder(Parent(folder));
        if (mkdir(folder.c_str(), 0700) == 0) return;
        error = errno;
    }
    if (error != EEXIST) throw EFileError(folder, error);
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) throw EFileError(folder, errno);
    if (!S_ISDIR(info.st_mode)) throw EFileError(folder, "not a folder");
}

// Renames without ever replacing what is at TARGET.
bool RenameNoReplace(const std::string& from, const std::string& target) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL) return false;
    // A file system without the flag: the info file already holds the name.
    struct stat info {};
    if (lstat(target.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), target.c_str()) == 0;
}

std::string DataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return data;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') throw EFileError("$HOME", "not set, so there is no trash");
    return std::string(home) + "/.local/share";
}

// The mount point of the file system FILE lies on.
std::string TopDirectory(const std::string& file, dev_t device) {
    std::string top = Parent(file);
    while (top != "/") {
        struct stat info {};
        const std::string up = Parent(top);
        if (stat(up.c_str(), &info) != 0 || info.st_dev != device) break;
        top = up;
    }
    return top;
}

TrashFolder ChooseTrash(const std::string& file, dev_t device) {
    const std::string data = DataHome();
    EnsureFolder(data);
    struct stat info {};
    if (stat(data.c_str(), &info) == 0 && info.st_dev == device) return {data + "/Trash/", ""};
    const std::string top = TopDirectory(file, device);
    const std::string prefix = top == "/" ? "" : top;
    const std::string uid = std::to_string(getuid());
    // An administrator's shared ".Trash" counts only as the desktops' trash rules allow:
    // a real folder with the sticky bit.
    const std::string shared = prefix + "/.Trash";
    if (lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX))
        return {shared + "/" + uid + "/", top};
    const std::string own = prefix + "/.Trash-" + uid;
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) throw EFileError(own, errno);
    if (lstat(own.c_str(), &info) != 0) throw EFileError(own, errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) throw EFileError(own, "not our trash");
    return {own + "/", top};
}

// Percent-encoded as a URI path: every byte but the unreserved ones and "/".
std::string EncodePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string InfoText(const std::string& path, const std::string& top) {
    const std::string stored = top.empty() ? path : path.substr(top == "/" ? 1 : top.size() + 1);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + EncodePath(stored) + "\nDeletionDate=" + date + "\n";
}

// "a.mp3", then "a.2.mp3", "a.3.mp3", ...
std::string TrashName(const std::string& name, int n) {
    if (n == 1) return name;
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
    return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::string MoveToTrash(const std::string& given) {
    const std::string path = AbsolutePath(given);
    struct stat file {};
    if (lstat(path.c_str(), &file) != 0) throw EFileError(path, errno);
    if (!S_ISREG(file.st_mode)) throw EFileError(path, "not a regular file");
    const TrashFolder trash = ChooseTrash(path, file.st_dev);
    EnsureFolder(trash.root + "files");
    EnsureFolder(trash.root + "info");
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string info = InfoText(path, trash.top);
    for (int n = 1; n <= kMaxTrashNames; ++n) {
        const std::string entry = TrashName(name, n);
        const std::string infoPath = trash.root + "info/" + entry + ".trashinfo";
        const std::string target = trash.root + "files/" + entry;
        // The info file is the claim on the name: written first, as file managers do.
        const int fd =
            open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) throw EFileError(infoPath, errno);
        const bool written = WriteAll(fd, info.data(), info.size());
        const int writeError = errno;
        close(fd);
        if (!written) {
            unlink(infoPath.c_str());
            throw EFileError(infoPath, writeError);
        }
        if (RenameNoReplace(path, target)) return target;
        const int error = errno;
        unlink(infoPath.c_str());
        if (error != EEXIST) throw EFileError(path, error);
    }
    throw EFileError(path, "no free name in the trash");
}

}  // namespace murmel
