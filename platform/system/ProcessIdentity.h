#pragma once
// Who is writing a file: a process named so that a later run can tell for certain
// whether it still lives (process ids are reused, and do not survive a restart).
#include <cstdint>
#include <string>

namespace murmel {

struct ProcessIdentity {
    int pid = 0;
    uint64_t startTicks = 0;  // the process's start time since boot, in clock ticks
    std::string bootId;       // this boot of the machine
};

ProcessIdentity CurrentProcess();

// True while the very process named runs: same boot, the pid alive and started
// at the same moment. A process of another user counts too.
bool IsProcessRunning(const ProcessIdentity& process);

// True when some process this user may look at has the file open (any descriptor
// on the same file, whatever name it was opened by).
bool IsFileOpenByAnyProcess(const std::string& path);

}  // namespace murmel
