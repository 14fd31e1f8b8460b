#pragma once
// Servers and folders for the send tests: a real SMTP server on loopback, the
// scripted one for refusals, a counter that counts GET requests, and stand-ins
// for xdg-email.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "GbkText.h"
#include "ServerProcess.h"
#include "SettingsStore.h"
#include "TestFiles.h"

namespace murmel::test {

inline std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// aiosmtpd, writing every message it accepts into FOLDER/mail/.
struct RealSmtpServer {
    explicit RealSmtpServer(const std::string& name, std::vector<std::string> options = {})
        : folder(FreshFolder(name)), server(MailTestScript("aiosmtpd_server.py"), [&] {
              std::filesystem::create_directories(folder + "mail");
              std::vector<std::string> args{folder + "port", folder + "mail/"};
              args.insert(args.end(), options.begin(), options.end());
              return args;
          }()) {}
    std::string Mail(const std::string& name) const { return ReadFile(folder + "mail/" + name); }
    bool Received(int n = 1) const {
        return std::filesystem::exists(folder + "mail/" + std::to_string(n) + ".eml");
    }
    std::string folder;
    ServerProcess server;
};

// scripted_smtp.py with one of its scenarios ("rcpt550", "final-reject", "silent").
struct ScriptedSmtpServer {
    explicit ScriptedSmtpServer(const std::string& scenario)
        : folder(FreshFolder("scripted-" + scenario)),
          server(MailTestScript("scripted_smtp.py"),
                 {folder + "port", folder + "transcript", scenario}) {}
    std::string folder;
    ServerProcess server;
};

// A program folder of the test's own with a user's "SMTP" settings.
inline std::string ProgramFolderFor(int port, const std::string& name = "program") {
    std::string folder = FreshFolder(name);
    SettingsStore settings(folder);
    settings.WriteText("SMTP", "ServerName", "localhost");
    settings.WriteText("SMTP", "ServerPort", std::to_string(port));
    settings.WriteText("SMTP", "MyName", Utf8ToGbk("张三"));
    settings.WriteText("SMTP", "EmailAdd", "me@murmel.example");
    return folder;
}

// A self-signed certificate for localhost; returns its folder (cert.pem, key.pem).
inline std::string TestCertificate() {
    std::string certs = FreshFolder("certs");
    std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
        certs + "key.pem -out " + certs +
        "cert.pem -days 2 -subj /CN=localhost"
        " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? certs : std::string();
}

// A port on loopback where nothing listens.
inline int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A web server on loopback that counts the requests for the counter's path.
class CounterServer {
  public:
    CounterServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 8);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~CounterServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/EmailAmount.php";
    }
    int Requests() const { return requests_.load(); }

  private:
    void Serve() {
        while (!stop_) {
            int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            std::string request;
            char buffer[512];
            ssize_t got;
            while (request.find("\r\n\r\n") == std::string::npos &&
                   (got = ::recv(client, buffer, sizeof buffer, 0)) > 0)
                request.append(buffer, static_cast<size_t>(got));
            if (request.rfind("GET /EmailAmount.php ", 0) == 0) ++requests_;
            ::close(client);
        }
    }
    int fd_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// A folder for PATH holding an xdg-email that writes its arguments, each ended by
// a NUL byte, to FOLDER/args and exits with `status`.
inline std::string StandInMailProgram(const std::string& name, int status) {
    std::string folder = FreshFolder(name);
    std::string script = folder + "xdg-email";
    WriteFile(script, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"" + folder + "args\"\nexit " +
                          std::to_string(status) + "\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return folder;
}

inline std::vector<std::string> RecordedArguments(const std::string& folder) {
    std::string all = ReadFile(folder + "args");
    std::vector<std::string> args;
    for (size_t start = 0, end; (end = all.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(all.substr(start, end - start));
    return args;
}

}  // namespace murmel::test
