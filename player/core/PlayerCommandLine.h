#pragma once
// The voice mail named on the player's command line. The player reads one raw
// line, as a desktop hands a program its command: the program path, a space and
// the file path, unquoted, so that a path with blanks arrives whole.
#include <string>
#include <vector>

namespace murmel {

// The raw line rebuilt from an argument vector: the full executable path, then
// each argument after one space. Empty arguments still count as arguments.
std::string RawCommandLine(const std::string& programPath,
                           const std::vector<std::string>& arguments);

// The file name FormShow takes from RAW_LINE, kept as it stands (no trimming, no
// removal of quotes): with a double quote anywhere in the line, everything from two
// characters after the first quote that follows the line's first character (a
// quoted program path, its closing quote and one separator); otherwise everything
// after the program path and one separator. Empty when there were no arguments.
std::string CommandLineFileName(const std::string& rawLine, const std::string& programPath,
                                bool hasArguments);

}  // namespace murmel
