#include "PlayerCommandLine.h"

namespace murmel {

std::string CommandLineFileName(const std::vector<std::string>& arguments) {
    std::string name;
    for (size_t i = 0; i < arguments.size(); ++i) name += (i ? " " : "") + arguments[i];
    return name;
}

}  // namespace murmel
