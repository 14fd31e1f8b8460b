#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "IniFile.h"

namespace murmel {

// One logged move of the music-volume slider.
struct ScheduleEntry {
    int32_t time;   // milliseconds since capture start; kNever stops the replay
    int32_t level;  // 0..10
};

// The ".Ctr" schedule: numbered sections "0", "1", ... with "Time" and "Volume".
class VolumeSchedule {
  public:
    static constexpr int32_t kNever = 2147483647;  // a time no position exceeds
    static constexpr int32_t kFallbackLevel = 3;
    static constexpr int32_t kStartVolume = -400;  // every playback starts here

    explicit VolumeSchedule(std::string path) : file_(std::move(path)) {}

    // Section n: "Time" first, then "Volume" = sliderPosition div 10.
    // Throws EIniFileError when the file cannot be written.
    void WriteEntry(int32_t n, int32_t timeMs, int32_t sliderPosition);

    // Entry n with every fallback: missing time or an unreadable entry gives
    // time kNever; a missing volume and levels outside 0..10 become 3.
    ScheduleEntry ReadScheduleEntry(int32_t n) const;

    // The entry a section's "Time" and "Volume" texts make (nullopt: key missing),
    // with the fallbacks above.
    static ScheduleEntry EntryFromValues(const std::optional<std::string>& time,
                                         const std::optional<std::string>& volume);

    // The music volume (hundredths of a decibel) a level stands for. Levels 0 and
    // 10 are the slider's two ends (0..9 and 100) and play as the recorder set
    // them: -4000 and 0, its own slider formula at those positions.
    static int32_t LevelToVolume(int32_t level) { return level * 400 - 4000; }

  private:
    IniFile file_;
};

}  // namespace murmel
