#include "VolumeSchedule.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace murmel {
namespace {

// A decimal 32-bit integer with an optional sign and nothing else.
bool ParseDecimal(const std::string& text, int32_t& value) {
    if (text.empty() || text[0] == ' ' || text[0] == '\t') return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

// No written value can hold a line break, so this default marks a missing key.
const std::string kMissing = "\n";

}  // namespace

void VolumeSchedule::WriteEntry(int32_t n, int32_t timeMs, int32_t sliderPosition) {
    const std::string section = std::to_string(n);
    file_.WriteNumber(section, "Time", timeMs);
    file_.WriteNumber(section, "Volume", sliderPosition / 10);
}

ScheduleEntry VolumeSchedule::ReadScheduleEntry(int32_t n) const {
    const std::string section = std::to_string(n);
    const std::string time = file_.ReadText(section, "Time", kMissing);
    const std::string volume = file_.ReadText(section, "Volume", kMissing);
    auto given = [](const std::string& text) {
        return text == kMissing ? std::nullopt : std::optional<std::string>(text);
    };
    return EntryFromValues(given(time), given(volume));
}

ScheduleEntry VolumeSchedule::EntryFromValues(const std::optional<std::string>& time,
                                              const std::optional<std::string>& volume) {
    int32_t timeMs = 0, level = 0;
    // A missing "Volume" must not read as level 0, which now means silence: an
    // entry cut short keeps the old fallback level instead.
    if (!ParseDecimal(time.value_or("2147483647"), timeMs) || (volume && !ParseDecimal(*volume, level)))
        return {kNever, kFallbackLevel};
    if (!volume || level < 0 || level > 10) level = kFallbackLevel;
    return {timeMs, level};
}

}  // namespace murmel
