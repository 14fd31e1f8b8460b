#include "ProcessIdentity.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace murmel {
namespace {

std::string BootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

// Field 22 of /proc/PID/stat; 0 when the process is gone, a zombie (it writes
// nothing more) or unreadable. The command name in parentheses may hold spaces,
// so count from its closing one.
uint64_t StartTicks(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index)
        if (index == 3 && (field == "Z" || field == "X"))
            return 0;
        else if (index == 22)
            return std::strtoull(field.c_str(), nullptr, 10);
    return 0;
}

bool IsNumber(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

}  // namespace

ProcessIdentity CurrentProcess() {
    ProcessIdentity self;
    self.pid = static_cast<int>(getpid());
    self.startTicks = StartTicks(self.pid);
    self.bootId = BootId();
    return self;
}

bool IsProcessRunning(const ProcessIdentity& process) {
    if (process.pid <= 0) return false;
    if (!process.bootId.empty() && process.bootId != BootId()) return false;
    if (kill(process.pid, 0) != 0 && errno != EPERM) return false;
    const uint64_t start = StartTicks(process.pid);
    // Without a recorded start time a reused pid cannot be told apart: assume alive.
    return start != 0 && (process.startTicks == 0 || start == process.startTicks);
}

bool IsFileOpenByAnyProcess(const std::string& path) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) return false;
    DIR* processes = opendir("/proc");
    if (!processes) return false;
    bool open = false;
    while (!open) {
        const dirent* process = readdir(processes);
        if (!process) break;
        if (!IsNumber(process->d_name)) continue;
        const std::string fds = std::string("/proc/") + process->d_name + "/fd/";
        DIR* descriptors = opendir(fds.c_str());
        if (!descriptors) continue;  // gone, or another user's
        while (const dirent* fd = readdir(descriptors)) {
            struct stat target {};
            if (!IsNumber(fd->d_name) || stat((fds + fd->d_name).c_str(), &target) != 0) continue;
            if (target.st_dev == file.st_dev && target.st_ino == file.st_ino) {
                open = true;
                break;
            }
        }
        closedir(descriptors);
    }
    closedir(processes);
    return open;
}

}  // namespace murmel
