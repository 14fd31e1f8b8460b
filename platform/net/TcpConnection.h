#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace murmel {

// A failed socket call: "Socket Error # <code>" and the system's text on a second line.
class TcpError : public std::runtime_error {
  public:
    TcpError(int code, const std::string& text);
    int Code() const { return code_; }

  private:
    int code_;
};

// The connection was aborted from another thread (or was never opened).
class TcpAbortedError : public std::runtime_error {
  public:
    TcpAbortedError() : std::runtime_error("Not Connected") {}
};

// A TLS handshake, certificate check or record failed.
class TlsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TlsSession;

// This machine's host name, for greeting a server.
std::string LocalHostName();

// This machine's fully-qualified name, or empty when it has none (a bare name
// such as "vm" that neither itself nor its resolved canonical name qualifies).
std::string LocalDomainName();

// A blocking TCP client connection to an IPv4 address, optionally wrapped in TLS.
// Every blocking call (connect, send, receive, handshake) waits without a time
// limit but wakes at once when Abort() is called from another thread; after that
// the connection only fails. Abort is sticky: it also stops a later Connect.
class TcpConnection {
  public:
    TcpConnection();
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // "localhost" in any letter case is 127.0.0.1 without a lookup, a dotted
    // address is used as it is, any other name resolves to its first IPv4 address.
    void Connect(const std::string& host, uint16_t port);

    // Upgrades the open connection to TLS and checks the server's certificate
    // against the system's CAs (and $MURMEL_CA_FILE) for serverName. A failed
    // handshake closes the connection (after an alert where TLS allows one):
    // nothing may follow in plain text.
    void StartTls(const std::string& serverName);

    // Sends part of the data; returns how many bytes were taken (at least one).
    size_t Send(const void* data, size_t size);
    void SendAll(const void* data, size_t size);
    // Receives up to size bytes; 0 when the peer closed the connection.
    size_t Receive(void* data, size_t size);

    // The local end of the open connection as an address literal, "[192.0.2.7]".
    std::string LocalAddressLiteral() const;

    bool IsOpen() const { return fd_.load() >= 0; }
    bool IsTls() const { return tls_ != nullptr; }
    bool IsAborted() const { return aborted_.load(); }

    // Any thread: makes every blocked and later call fail with TcpAbortedError.
    void Abort();
    // The owning thread: closes the socket (a TLS session gets its close notice).
    void Close();

    // Plain socket I/O for the TLS layer; set errno and return -1 on failure.
    long RawSend(const void* data, size_t size);
    long RawReceive(void* data, size_t size);

  private:
    enum class Wait { kRead, kWrite };
    void WaitFor(Wait what);
    void CheckUsable() const;

    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;  // signalled by Abort, never drained
    std::atomic<bool> aborted_{false};
    std::mutex fdLock_;  // Abort's shutdown against Close
    std::unique_ptr<TlsSession> tls_;
};

}  // namespace murmel
