// Any bytes as the user's mimeapps.list: setting our default keeps every other line,
// names us exactly once in the group, and taking it away again leaves no trace of it.
#include <cstdint>
#include <sstream>
#include <string>

#include "DesktopEntry.h"

namespace {

const std::string kType = "application/x-mvm", kEntry = "murmelplay.desktop";

int CountOurLines(const std::string& list) {
    std::istringstream in(list);
    int count = 0;
    bool inDefault = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[') inDefault = line.rfind("[Default Applications]", 0) == 0;
        if (inDefault && line == kType + "=" + kEntry) ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string list(reinterpret_cast<const char*>(data), size);
    if (list.find(kType) != std::string::npos) return 0;  // only lists we did not touch yet
    const std::string with = murmel::WithDefaultApplication(list, kType, kEntry);
    if (CountOurLines(with) != 1) __builtin_trap();
    if (murmel::WithDefaultApplication(with, kType, kEntry) != with) __builtin_trap();
    if (murmel::WithoutDefaultApplication(with, kType, kEntry).find(kType) != std::string::npos)
        __builtin_trap();
    return 0;
}
