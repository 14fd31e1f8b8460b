// Any bytes as an INI file: every read must return without crashing, and a write
// must keep what was readable before.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "IniFile.h"
#include "TempNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = murmel::TempFolder() + "fuzz-ini-" + std::to_string(getpid());
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    murmel::IniFile ini(path);
    std::string section(reinterpret_cast<const char*>(data), size < 8 ? size : 8);
    ini.ReadText(section, "Key", "default");
    ini.ReadNumber("SMTP", "ServerPort", 25);
    ini.HasSection(section);
    std::string before = ini.ReadText("firstUse", "FirstUse", "none");
    ini.WriteText("Other", "Key", "value");
    if (ini.ReadText("firstUse", "FirstUse", "none") != before) __builtin_trap();
    if (ini.ReadText("Other", "Key", "") != "value" && !ini.HasSection("other")) __builtin_trap();
    unlink(path.c_str());
    return 0;
}
