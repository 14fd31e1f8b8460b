#pragma once
// Runs murmel-cli as a child process with its output in files, so that tests can
// send it signals, bound its time and read how much memory it took.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"

namespace murmel::test {

struct CliResult {
    int status = -1;  // exit status; -1 when killed or still running at the deadline
    int signal = 0;   // the signal that ended it, if any
    long peakKilobytes = 0;
    std::string out, err;
};

class CliProcess {
  public:
    // `program` defaults to the build's murmel-cli; `environment` adds NAME=VALUE.
    explicit CliProcess(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {},
                        std::string program = std::string(MURMEL_PROGRAM_DIR) + "murmel-cli")
        : outPath_(OutputFolder() + std::to_string(counter_++)) {
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            Redirect(outPath_ + ".out", STDOUT_FILENO);
            Redirect(outPath_ + ".err", STDERR_FILENO);
            int null = open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
            for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
            std::vector<char*> argv{const_cast<char*>("murmel-cli")};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~CliProcess() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void Signal(int number) { kill(pid_, number); }
    std::string Out() const { return ReadFile(outPath_ + ".out"); }
    std::string Err() const { return ReadFile(outPath_ + ".err"); }

    // Waits until `ready` holds (polled every 20 ms) or the time is up.
    template <typename Condition>
    bool WaitFor(Condition ready, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (ready()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return ready();
    }

    // Waits for the end, killing the process after `limit` (status -1 then).
    CliResult Finish(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        CliResult result;
        int status = 0;
        struct rusage usage {};
        const auto end = std::chrono::steady_clock::now() + limit;
        pid_t got = 0;
        while ((got = wait4(pid_, &status, WNOHANG, &usage)) == 0 &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (got == 0) {
            kill(pid_, SIGKILL);
            wait4(pid_, &status, 0, &usage);
            result.signal = SIGKILL;
        } else if (WIFEXITED(status)) {
            result.status = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
        done_ = true;
        result.peakKilobytes = usage.ru_maxrss;
        result.out = Out();
        result.err = Err();
        return result;
    }

  private:
    // Beside, not inside, the temporary folder the tests inspect.
    static std::string OutputFolder() {
        const std::string folder = TempFolder() + "../cli-output/";
        mkdir(folder.c_str(), 0700);
        return folder;
    }
    static void Redirect(const std::string& path, int target) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, target);
        close(fd);
    }
    static inline int counter_ = 0;
    std::string outPath_;
    pid_t pid_ = -1;
    bool done_ = false;
};

inline CliResult RunCli(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {},
                        std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    CliProcess process(arguments, environment);
    return process.Finish(limit);
}

}  // namespace murmel::test
