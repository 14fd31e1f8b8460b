#include "PlayerSettings.h"

#include <cmath>

#include "IniFile.h"
#include "PlayerCore.h"

namespace murmel {
namespace {

constexpr const char* kSection = "Player";
constexpr const char* kSpeedKey = "SpeedPercent";  // whole numbers: no locale's decimal point

}  // namespace

std::string PlayerSettings::Language() const {
    try {
        return IniFile(path_).ReadText("Interface", "Language", "");
    } catch (const std::exception&) {
        return "";
    }
}

double PlayerSettings::Speed() const {
    try {
        const int32_t percent = IniFile(path_).ReadNumber(kSection, kSpeedKey, 100);
        for (double speed : PlayerCore::kSpeeds)
            if (std::lround(speed * 100) == percent) return speed;
    } catch (const std::exception&) {
        // An unreadable file is no choice made.
    }
    return 1.0;
}

void PlayerSettings::SetSpeed(double speed) {
    IniFile(path_).WriteNumber(kSection, kSpeedKey, static_cast<int32_t>(std::lround(speed * 100)));
}

}  // namespace murmel
