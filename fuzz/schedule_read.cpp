// Any bytes as a ".Ctr" schedule: every entry read must obey the fallbacks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "TempNames.h"
#include "VolumeSchedule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = murmel::TempFolder() + "fuzz-ctr-" + std::to_string(getpid());
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    murmel::VolumeSchedule schedule(path);
    for (int n = 0; n < 16; ++n) {
        murmel::ScheduleEntry entry = schedule.ReadScheduleEntry(n);
        if (entry.level < 0 || entry.level > 10) __builtin_trap();
    }
    unlink(path.c_str());
    return 0;
}
