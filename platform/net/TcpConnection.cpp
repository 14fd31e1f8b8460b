#include "TcpConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "TlsSession.h"

namespace murmel {
namespace {

[[noreturn]] void ThrowErrno(int code) { throw TcpError(code, std::strerror(code)); }

in_addr Resolve(const std::string& host) {
    in_addr address{};
    if (strcasecmp(host.c_str(), "localhost") == 0) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        if (found) freeaddrinfo(found);
        throw TcpError(status, status == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(status));
    }
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

}  // namespace

TcpError::TcpError(int code, const std::string& text)
    : std::runtime_error("Socket Error # " + std::to_string(code) + "\n" + text), code_(code) {}

std::string LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
    return name;
}

namespace {

// Letters, digits and hyphens in dot-separated labels, at least two of them.
bool IsDomainName(const std::string& name) {
    if (name.find('.') == std::string::npos || name.front() == '.' || name.back() == '.')
        return false;
    if (name.find("..") != std::string::npos) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return false;
    return strncasecmp(name.c_str(), "localhost.", 10) != 0;
}

}  // namespace

std::string LocalDomainName() {
    std::string name = LocalHostName();
    if (IsDomainName(name)) return name;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    std::string canonical;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found && found->ai_canonname)
        canonical = found->ai_canonname;
    if (found) freeaddrinfo(found);
    return IsDomainName(canonical) ? canonical : std::string();
}

std::string TcpConnection::LocalAddressLiteral() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    char text[INET_ADDRSTRLEN] = "127.0.0.1";
    if (getsockname(fd_.load(), reinterpret_cast<sockaddr*>(&local), &length) == 0)
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    return "[" + std::string(text) + "]";
}

TcpConnection::TcpConnection() {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) ThrowErrno(errno);
}

TcpConnection::~TcpConnection() {
    Close();
    ::close(wakeFd_);
}

void TcpConnection::CheckUsable() const {
    if (aborted_.load() || fd_.load() < 0) throw TcpAbortedError();
}

void TcpConnection::Connect(const std::string& host, uint16_t port) {
    Close();
    if (aborted_.load()) throw TcpAbortedError();
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr = Resolve(host);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) ThrowErrno(errno);
    {
        std::lock_guard<std::mutex> lock(fdLock_);
        fd_ = fd;
    }
    if (aborted_.load()) throw TcpAbortedError();
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) return;
    if (errno != EINPROGRESS) {
        int code = errno;
        Close();
        ThrowErrno(code);
    }
    try {
        WaitFor(Wait::kWrite);
    } catch (...) {
        Close();
        throw;
    }
    int code = 0;
    socklen_t length = sizeof code;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length) != 0) code = errno;
    if (code != 0) {
        Close();
        ThrowErrno(code);
    }
}

void TcpConnection::StartTls(const std::string& serverName) {
    CheckUsable();
    try {
        tls_ = std::make_unique<TlsSession>(*this, serverName);
    } catch (...) {
        Close();
        throw;
    }
}

void TcpConnection::WaitFor(Wait what) {
    pollfd fds[2] = {{fd_.load(), static_cast<short>(what == Wait::kRead ? POLLIN : POLLOUT), 0},
                     {wakeFd_, POLLIN, 0}};
    for (;;) {
        if (aborted_.load()) throw TcpAbortedError();
        int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) ThrowErrno(errno);
        if (aborted_.load() || fds[1].revents) throw TcpAbortedError();
        if (fds[0].revents) return;  // readable, writable, or an error the next call reports
    }
}

long TcpConnection::RawSend(const void* data, size_t size) {
    for (;;) {
        if (aborted_.load() || fd_.load() < 0) {
            errno = ECONNABORTED;
            return -1;
        }
        ssize_t sent = ::send(fd_.load(), data, size, MSG_NOSIGNAL);
        if (sent >= 0) return sent;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        try {
            WaitFor(Wait::kWrite);
        } catch (const std::exception&) {
            // Called from the TLS library's C code: report, never throw through it.
            errno = aborted_.load() ? ECONNABORTED : EIO;
            return -1;
        }
    }
}

long TcpConnection::RawReceive(void* data, size_t size) {
    for (;;) {
        if (aborted_.load() || fd_.load() < 0) {
            errno = ECONNABORTED;
            return -1;
        }
        ssize_t got = ::recv(fd_.load(), data, size, 0);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        try {
            WaitFor(Wait::kRead);
        } catch (const std::exception&) {
            // Called from the TLS library's C code: report, never throw through it.
            errno = aborted_.load() ? ECONNABORTED : EIO;
            return -1;
        }
    }
}

size_t TcpConnection::Send(const void* data, size_t size) {
    CheckUsable();
    if (size == 0) return 0;
    if (tls_) return tls_->Send(data, size);
    long sent = RawSend(data, size);
    if (sent < 0) {
        if (aborted_.load()) throw TcpAbortedError();
        ThrowErrno(errno);
    }
    return static_cast<size_t>(sent);
}

void TcpConnection::SendAll(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        size_t sent = Send(bytes, size);
        bytes += sent;
        size -= sent;
    }
}

size_t TcpConnection::Receive(void* data, size_t size) {
    CheckUsable();
    if (tls_) return tls_->Receive(data, size);
    long got = RawReceive(data, size);
    if (got < 0) {
        if (aborted_.load()) throw TcpAbortedError();
        ThrowErrno(errno);
    }
    return static_cast<size_t>(got);
}

void TcpConnection::Abort() {
    aborted_ = true;
    {
        std::lock_guard<std::mutex> lock(fdLock_);
        if (fd_.load() >= 0) ::shutdown(fd_.load(), SHUT_RDWR);
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void TcpConnection::Close() {
    if (tls_ && !aborted_.load() && fd_.load() >= 0) {
        try {
            tls_->Bye();
        } catch (const std::exception&) {
            // The peer may be gone already; the socket closes all the same.
        }
    }
    tls_.reset();
    std::lock_guard<std::mutex> lock(fdLock_);
    if (fd_.load() >= 0) ::close(fd_.load());
    fd_ = -1;
}

}  // namespace murmel
