#pragma once
// The voice mail named on the player's command line. A Linux desktop hands the player
// the file as one argument, exactly as it is named (the association's "%f"), so no
// quote rule of a rebuilt command line may cut it: quotes and blanks are part of the name.
#include <string>
#include <vector>

namespace murmel {

// The file name FormShow takes from the ARGUMENTS after the program path, kept as it
// stands (no trimming, no removal of quotes). Several arguments, a path typed without
// quotes in a terminal, are joined again with single blanks. Empty without arguments.
std::string CommandLineFileName(const std::vector<std::string>& arguments);

}  // namespace murmel
