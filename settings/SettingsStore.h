#pragma once
#include <string>

#include "IniFile.h"

namespace murmel {

// The recorder's settings: "user.dll" in the program folder, read and written
// through IniFile on every use (nothing is kept between uses). It holds the SMTP
// password, so every write leaves it readable by its owner only.
class SettingsStore : public IniFile {
public:
    static constexpr const char* kFileName = "user.dll";

    // programFolder ends with "/" (see ProgramFolder()).
    explicit SettingsStore(const std::string& programFolder)
        : IniFile(programFolder + kFileName, IniFileMode::OwnerOnly) {}
};

}  // namespace murmel
