#pragma once
// Servers and folders for the send tests: a real SMTP server on loopback, the
// scripted one for refusals, a counter that counts GET requests, and a desktop
// with a stand-in mail program for the real xdg-email.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

// A desktop of the test's own for the real /usr/bin/xdg-email: HOME and the XDG
// folders in a fresh folder, no desktop session, and a stand-in mail program,
// registered as the handler of mailto:, that writes its arguments, each ended by
// a NUL byte, to FOLDER/args. Named "thunderbird" it is one xdg-email knows by
// name and hands the fields in Thunderbird's own form; with no name there is no
// mail program at all. The environment comes back when the desktop goes.
class MailDesktop {
  public:
    explicit MailDesktop(const std::string& program = "mail-client")
        : folder(FreshFolder("desktop-" + (program.empty() ? "none" : program))) {
        for (const char* sub : {"bin", "config", "data/applications", "none"})
            std::filesystem::create_directories(folder + sub);
        Set("PATH", folder + "bin:/usr/bin:/bin");
        Set("HOME", folder);
        Set("XDG_CONFIG_HOME", folder + "config");
        Set("XDG_DATA_HOME", folder + "data");
        Set("XDG_DATA_DIRS", folder + "none");
        Set("XDG_CONFIG_DIRS", folder + "none");
        Set("DISPLAY", ":99");  // only looked at, never opened
        Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder + "no-bus");
        Set("BROWSER", folder + "no-browser");  // never a real browser as a last resort
        for (const char* name :
             {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
              "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "LXQT_SESSION_CONFIG",
              "MAILER", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "XDG_UTILS_DEBUG_LEVEL"})
            Set(name, std::nullopt);
        if (program.empty()) return;
        std::string script = folder + "bin/" + program;
        WriteFile(script, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"" + folder + "args.tmp\" && mv \"" +
                              folder + "args.tmp\" \"" + folder + "args\"\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        WriteFile(folder + "data/applications/murmel-test-mail.desktop",
                  "[Desktop Entry]\nType=Application\nName=Mail\nExec=" + program +
                      " %u\nMimeType=x-scheme-handler/mailto;\n");
        WriteFile(folder + "config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/mailto=murmel-test-mail.desktop\n");
    }
    ~MailDesktop() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? setenv(it->first.c_str(), it->second->c_str(), 1)
                       : unsetenv(it->first.c_str());
    }
    MailDesktop(const MailDesktop&) = delete;
    MailDesktop& operator=(const MailDesktop&) = delete;

    bool HandedOver() const { return std::filesystem::exists(folder + "args"); }
    std::vector<std::string> Arguments() const {
        std::string all = ReadFile(folder + "args");
        std::vector<std::string> args;
        for (size_t start = 0, end; (end = all.find('\0', start)) != std::string::npos;
             start = end + 1)
            args.push_back(all.substr(start, end - start));
        return args;
    }

    const std::string folder;

  private:
    void Set(const char* name, std::optional<std::string> value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

using MailFields = std::vector<std::pair<std::string, std::string>>;

// What the mail program was handed, as (field, value) pairs in order, from the
// mailto: address of a generic desktop or from Thunderbird's "-compose" form.
inline MailFields HandedOverFields(const std::vector<std::string>& args) {
    MailFields fields;
    auto split = [](const std::string& text, char separator, bool quotes) {
        std::vector<std::string> parts{""};
        bool quoted = false;
        for (char c : text) {
            if (quotes && c == '\'') quoted = !quoted;
            if (c == separator && !quoted)
                parts.emplace_back();
            else
                parts.back() += c;
        }
        return parts;
    };
    if (args.size() == 1 && args[0].rfind("mailto:?", 0) == 0) {
        for (const std::string& pair : split(args[0].substr(8), '&', false)) {
            size_t equals = pair.find('=');
            fields.emplace_back(pair.substr(0, equals), PercentDecoded(pair.substr(equals + 1)));
        }
    } else if (args.size() == 2 && args[0] == "-compose") {
        for (const std::string& pair : split(args[1], ',', true)) {
            size_t equals = pair.find('=');
            std::string name = pair.substr(0, equals), value = pair.substr(equals + 1);
            if (name == "subject" || name == "body") {
                fields.emplace_back(name, PercentDecoded(value));
                continue;
            }
            value = value.substr(1, value.size() - 2);  // the quotes
            for (const std::string& item : split(value, ',', false))
                if (!item.empty())
                    fields.emplace_back(name == "attachment" ? "attach" : name, item);
        }
    }
    return fields;
}

}  // namespace murmel::test
