#include "PlayerCommandLine.h"

namespace murmel {

std::string RawCommandLine(const std::string& programPath,
                           const std::vector<std::string>& arguments) {
    std::string line = programPath;
    for (const std::string& argument : arguments) line += " " + argument;
    return line;
}

std::string CommandLineFileName(const std::string& rawLine, const std::string& programPath,
                                bool hasArguments) {
    if (!hasArguments) return "";
    if (rawLine.find('"') != std::string::npos) {
        const size_t quote = rawLine.find('"', 1);
        if (quote == std::string::npos || quote + 2 > rawLine.size()) return "";
        return rawLine.substr(quote + 2);
    }
    const size_t skip = programPath.size() + 1;
    return skip < rawLine.size() ? rawLine.substr(skip) : "";
}

}  // namespace murmel
