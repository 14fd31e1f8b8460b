#pragma once
#include <ctime>
#include <string>

namespace murmel {

// year_month_day_hour_minute_second without leading zeros (2004_7_5_9_3_7):
// the name of an automatically saved recording.
std::string TimeStampName(const std::tm& localTime);

// The same for the current local time.
std::string TimeStampNameNow();

}  // namespace murmel
