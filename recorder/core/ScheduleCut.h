#pragma once
#include <cstdint>
#include <string>

namespace murmel {

// Writes to TARGET (an empty or new ".Ctr" file) the volume schedule SOURCE as it
// applies to the voice from `startMs` to `endMs` moved to the start: first the
// level in force at startMs at time 0, then every later change before endMs with
// its time less startMs. Entries the player would never reach (after a missing or
// unreadable one) are left out. Throws EIniFileError when TARGET cannot be written.
void CutSchedule(const std::string& source, const std::string& target, int64_t startMs,
                 int64_t endMs);

}  // namespace murmel
