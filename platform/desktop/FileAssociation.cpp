#include "FileAssociation.h"

namespace murmel {

void RegisterFileType(const std::string&) noexcept {}

}  // namespace murmel
