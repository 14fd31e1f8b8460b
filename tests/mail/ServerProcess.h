#pragma once
// Starts a helper server script for a test and always stops it again.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"

namespace murmel::test {

inline const char* kPython = "/usr/bin/python3";

class ServerProcess {
  public:
    // Runs `script args...`; the script writes its port to the file named by the
    // first argument once it listens.
    ServerProcess(const std::string& script, const std::vector<std::string>& args) {
        portFile_ = args.at(0);
        std::vector<std::string> all{kPython, script};
        all.insert(all.end(), args.begin(), args.end());
        pid_ = fork();
        if (pid_ == 0) {
            // The server's own chatter goes next to its port file.
            std::string log = portFile_ + ".log";
            if (std::FILE* out = std::fopen(log.c_str(), "w")) {
                dup2(fileno(out), 1);
                dup2(fileno(out), 2);
            }
            std::vector<char*> argv;
            for (std::string& arg : all) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(kPython, argv.data());
            _exit(127);
        }
        if (pid_ < 0) throw std::runtime_error("fork failed");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!std::filesystem::exists(portFile_)) {
            if (std::chrono::steady_clock::now() > deadline || Exited())
                throw std::runtime_error("server did not start: " + script);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        port_ = std::stoi(ReadFile(portFile_));
    }
    // A polite stop first, so that a server can take down what it started.
    ~ServerProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100 && !Exited(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int Port() const { return port_; }

  private:
    bool Exited() {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        pid_ = -1;
        return true;
    }
    pid_t pid_ = -1;
    int port_ = 0;
    std::string portFile_;
};

inline std::string MailTestScript(const char* name) {
    return std::string(MURMEL_SOURCE_DIR) + "/tests/mail/" + name;
}

}  // namespace murmel::test
