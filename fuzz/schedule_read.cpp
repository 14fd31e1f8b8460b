// Any bytes as a ".Ctr" schedule: every entry read must obey the fallbacks, and
// the table read once must give what reading the file entry by entry gives, up to
// the entry that stops the replay (nothing after it is ever reached).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "TempNames.h"
#include "VolumeSchedule.h"
#include "VolumeScheduleTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = murmel::TempFolder() + "fuzz-ctr-" + std::to_string(getpid());
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    murmel::VolumeSchedule schedule(path);
    const murmel::VolumeScheduleTable table = murmel::VolumeScheduleTable::Read(path);
    int32_t waiting = -1;  // the first entry whose time is not before the jump target
    const int64_t target = 1000;
    bool reached = true;
    for (int n = 0; n < 16; ++n) {
        murmel::ScheduleEntry entry = schedule.ReadScheduleEntry(n);
        if (entry.level < 0 || entry.level > 10) __builtin_trap();
        const murmel::ScheduleEntry fromTable = table.Entry(n);
        const bool stops = entry.time == murmel::VolumeSchedule::kNever;
        if (reached && (fromTable.time != entry.time || (!stops && fromTable.level != entry.level)))
            __builtin_trap();
        if (waiting < 0 && entry.time >= target) waiting = n;
        reached = reached && !stops;
    }
    if (waiting >= 0 && table.FirstNotBefore(target) != waiting) __builtin_trap();
    unlink(path.c_str());
    return 0;
}
