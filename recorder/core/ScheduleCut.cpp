#include "ScheduleCut.h"

#include <optional>

#include "VolumeSchedule.h"

namespace murmel {

void CutSchedule(const std::string& source, const std::string& target, int64_t startMs,
                 int64_t endMs) {
    const VolumeSchedule in(source);
    VolumeSchedule out(target);
    std::optional<int32_t> levelInForce;  // the player applies an entry once past its time
    int32_t next = 0;
    for (int32_t n = 0;; ++n) {
        const ScheduleEntry entry = in.ReadScheduleEntry(n);
        if (entry.time == VolumeSchedule::kNever || entry.time >= endMs) break;
        if (entry.time < startMs) {
            levelInForce = entry.level;
            continue;
        }
        if (levelInForce) {
            out.WriteEntry(next++, 0, *levelInForce * 10);
            levelInForce.reset();
        }
        out.WriteEntry(next++, static_cast<int32_t>(entry.time - startMs), entry.level * 10);
    }
    if (levelInForce) out.WriteEntry(next, 0, *levelInForce * 10);
}

}  // namespace murmel
