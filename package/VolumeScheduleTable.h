#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "VolumeSchedule.h"

namespace murmel {

// The ".Ctr" schedule of one opened voice mail, read once into a table: a tick
// looks its entry up and a jump searches for it, instead of reading the file
// again for every entry. Entry(n) is exactly what ReadScheduleEntry(n) gives for
// the same file, fallbacks included.
class VolumeScheduleTable {
  public:
    VolumeScheduleTable() = default;  // no schedule: entry 0 already stops the replay

    // A missing or unreadable file is an empty table, as it reads as no sections.
    static VolumeScheduleTable Read(const std::string& path);
    static VolumeScheduleTable Parse(std::string_view text);

    ScheduleEntry Entry(int32_t n) const;

    // The entry the replay waits on after a jump to `ms`: the first one whose time
    // is not before it. Every entry before it has been applied, the last of them
    // setting the volume.
    int32_t FirstNotBefore(int64_t ms) const;

    // Entries before the first missing section.
    size_t Size() const { return entries_.size(); }

  private:
    std::vector<ScheduleEntry> entries_;
    std::vector<int32_t> latest_;  // the latest time among entries 0..n: a sorted key
};

}  // namespace murmel
