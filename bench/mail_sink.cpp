#include "mail_sink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

MailSink::MailSink(bool silent) : silent_(silent) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("sink: cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

MailSink::~MailSink() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
}

void MailSink::Serve() {
    while (!stopping_) {
        pollfd wait{listener_, POLLIN, 0};
        if (poll(&wait, 1, 100) <= 0) continue;
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::thread([this, fd] { Session(fd); }).detach();
    }
}

// The offset just past CR LF "." CR LF in data (which may begin inside `tail`,
// the end of the previous read), or npos; keeps the last four bytes in tail.
static size_t FindDataEnd(const char* data, size_t size, std::string& tail) {
    static const char kEnd[] = "\r\n.\r\n";
    std::string edge = tail + std::string(data, std::min<size_t>(size, 4));
    size_t at = edge.find(kEnd);
    if (at != std::string::npos) return at + 5 - tail.size();
    const void* found = memmem(data, size, kEnd, 5);
    if (found) return static_cast<size_t>(static_cast<const char*>(found) - data) + 5;
    if (size >= 4) {
        tail.assign(data + size - 4, 4);
    } else {
        tail.append(data, size);
        if (tail.size() > 4) tail.erase(0, tail.size() - 4);
    }
    return std::string::npos;
}

static void Reply(int fd, const char* text) { send(fd, text, std::strlen(text), MSG_NOSIGNAL); }

void MailSink::Session(int fd) {
    if (silent_) {
        char buffer[4096];
        while (recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        close(fd);
        return;
    }
    Reply(fd, "220 sink ESMTP\r\n");
    std::vector<char> buffer(1 << 20);
    std::string line, tail;  // tail: the last bytes of the data, for an end split across reads
    bool inData = false;
    for (;;) {
        ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
        if (got <= 0) break;
        size_t size = static_cast<size_t>(got), i = 0;
        while (i < size) {
            if (inData) {
                size_t end = FindDataEnd(buffer.data() + i, size - i, tail);
                if (end == std::string::npos) break;
                inData = false;
                Reply(fd, "250 OK\r\n");
                i += end;
                continue;
            }
            char c = buffer[i++];
            if (c != '\n') {
                line += c;
                continue;
            }
            std::string verb = line.substr(0, 4);
            line.clear();
            if (verb == "EHLO") {
                Reply(fd, "250-sink\r\n250 SIZE 100000000\r\n");
            } else if (verb == "DATA") {
                inData = true;
                tail = "\r\n";
                Reply(fd, "354 Go ahead\r\n");
            } else if (verb == "QUIT") {
                Reply(fd, "221 Bye\r\n");
                close(fd);
                return;
            } else {
                Reply(fd, "250 OK\r\n");
            }
        }
    }
    close(fd);
}
