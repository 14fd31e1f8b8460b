#pragma once
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace murmel::cli {

using Arguments = std::vector<std::string>;

// A command of murmel-cli. run returns the exit status (0 success, 1 failure);
// it throws UsageError for bad arguments (exit 2) and any std::exception for a
// failure (its message goes to stderr, exit 1).
struct Command {
    const char* name;
    const char* usage;  // one line: the arguments after the name
    int (*run)(const Arguments& arguments);
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Each cmd_*.cpp registers its commands with a static RegisterCommand object.
std::vector<Command>& Commands();
struct RegisterCommand {
    explicit RegisterCommand(Command command) { Commands().push_back(command); }
};

// SIGINT, SIGTERM, SIGHUP and SIGPIPE: commands that must finish cleanly (record,
// play, and every command that writes files) install the handler and poll the flag.
void CatchInterrupt();
bool Interrupted();
// Ctrl-Z (SIGTSTP) is caught rather than obeyed; true once for each since the last look.
void CatchSuspend();
bool TakeSuspendRequest();

// Splits arguments into positional ones and "--name value" options; flags listed
// in `switches` take no value. Unknown options are a UsageError.
struct ParsedArguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // in the order given
    bool Has(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    std::vector<std::string> Values(const std::string& name) const;
};
// Playback speed: a number from 0.5 to 2 (UsageError otherwise).
double ParseSpeed(const std::string& text);
// A count of milliseconds, 0 or more (UsageError naming `option` otherwise).
int64_t ParseMilliseconds(const std::string& text, const std::string& option);

ParsedArguments ParseArguments(const Arguments& arguments, const std::vector<std::string>& valued,
                               const std::vector<std::string>& switches);

}  // namespace murmel::cli
