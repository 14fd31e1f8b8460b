// Signals that end a command: Ctrl-C, kill, a closed terminal (SIGHUP) and a
// closed pipe (SIGPIPE) all end it the same way, through Interrupted(), so that
// recordings are finalised and temporary files removed whatever stopped us.
#include <csignal>

#include "Command.h"

namespace murmel::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t suspendRequested = 0;

void OnInterrupt(int) { interrupted = 1; }
void OnSuspend(int) { suspendRequested = 1; }

}  // namespace

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking call returns with EINTR, so the command looks at
    // the flag at once instead of after the call.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

void CatchSuspend() {
    struct sigaction action {};
    action.sa_handler = OnSuspend;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTSTP, &action, nullptr);
}

bool TakeSuspendRequest() {
    if (!suspendRequested) return false;
    suspendRequested = 0;
    return true;
}

}  // namespace murmel::cli
