#pragma once
#include <cstddef>
#include <string>

namespace murmel {

class TcpConnection;

// A GnuTLS client session over a TcpConnection's raw socket I/O. The server's
// certificate must verify against the system's CA store, plus the CA file named
// by $MURMEL_CA_FILE, for the given name; anything else fails the handshake.
class TlsSession {
  public:
    TlsSession(TcpConnection& connection, const std::string& serverName);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    size_t Send(const void* data, size_t size);
    size_t Receive(void* data, size_t size);  // 0 at the peer's close
    void Bye();

  private:
    [[noreturn]] void Fail(const char* what, int code) const;
    struct Impl;
    Impl* impl_;
    TcpConnection& connection_;
};

}  // namespace murmel
