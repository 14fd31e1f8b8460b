#include "ProgramFolder.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace murmel {

std::string ProgramFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return "./";
    std::string path(buffer.data(), static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace murmel
