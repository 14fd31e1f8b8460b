#include "TimeStampName.h"

namespace murmel {

std::string TimeStampName(const std::tm& t) {
    return std::to_string(t.tm_year + 1900) + "_" + std::to_string(t.tm_mon + 1) + "_" +
           std::to_string(t.tm_mday) + "_" + std::to_string(t.tm_hour) + "_" +
           std::to_string(t.tm_min) + "_" + std::to_string(t.tm_sec);
}

std::string TimeStampNameNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TimeStampName(local);
}

}  // namespace murmel
