#pragma once
// Running another program (xdg-email, xdg-open, the MIME database tools) with an
// argument vector: no shell, so no quoting and no injection can arise.
#include <string>
#include <vector>

namespace murmel {

// Outcome of a child program. `started` is false when it could not be run at all
// (not found, not executable); `exitCode` is its exit status, or 128 + the signal
// that ended it.
struct ChildResult {
    bool started = false;
    int exitCode = -1;
    std::string error;  // why it could not be started
    bool Succeeded() const { return started && exitCode == 0; }
};

// Runs argv[0] (looked up on PATH when it has no "/") with its standard input on
// /dev/null and waits for it. Blocks: callers on a window thread run it on a worker.
ChildResult RunProgram(const std::vector<std::string>& argv);

// The full path of a program on PATH, or empty when there is none.
std::string FindProgram(const std::string& name);

}  // namespace murmel
