#include "MMUtils.h"

#include <cstdio>

namespace murmel {

std::string FormatTimeText(int64_t milliseconds, bool withMilliseconds) {
    constexpr uint64_t kDay = 86400000, kHour = 3600000, kMinute = 60000, kSecond = 1000;
    const bool negative = milliseconds < 0;
    // Magnitude as unsigned so that the most negative value has one too.
    const uint64_t v = negative ? 0 - static_cast<uint64_t>(milliseconds)
                                : static_cast<uint64_t>(milliseconds);
    const auto seconds = static_cast<unsigned>(v % kMinute / kSecond);
    const auto minutes = static_cast<unsigned>(v % kHour / kMinute);
    const auto hours = static_cast<unsigned>(v % kDay / kHour);
    const auto millis = static_cast<unsigned>(v % kSecond);

    char text[64];
    int length;
    if (v >= kDay)
        length = std::snprintf(text, sizeof text, "%llu:%2.2u:%2.2u:%2.2u",
                               static_cast<unsigned long long>(v / kDay), hours, minutes, seconds);
    else if (v >= kHour)
        length = std::snprintf(text, sizeof text, "%llu:%2.2u:%2.2u",
                               static_cast<unsigned long long>(v / kHour), minutes, seconds);
    else
        length = std::snprintf(text, sizeof text, "%llu:%2.2u",
                               static_cast<unsigned long long>(v / kMinute), seconds);
    if (withMilliseconds)
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length), ".%3.3u", millis);
    return (negative ? "-" : "") + std::string(text);
}

}  // namespace murmel
