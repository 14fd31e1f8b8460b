#pragma once
#include <string>

namespace murmel {

// The directory of the running executable with a trailing "/": every file the
// recorder keeps (settings, address book, recordings, music) lives relative to it.
std::string ProgramFolder();

}  // namespace murmel
