#include "TlsSession.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <cerrno>
#include <cstdlib>

#include "TcpConnection.h"

namespace murmel {

struct TlsSession::Impl {
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_session_t session = nullptr;
};

namespace {

ssize_t Push(gnutls_transport_ptr_t transport, const void* data, size_t size) {
    auto* connection = static_cast<TcpConnection*>(transport);
    return connection->RawSend(data, size);
}

ssize_t Pull(gnutls_transport_ptr_t transport, void* data, size_t size) {
    auto* connection = static_cast<TcpConnection*>(transport);
    return connection->RawReceive(data, size);
}

bool IsAddressLiteral(const std::string& name) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, name.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

}  // namespace

TlsSession::TlsSession(TcpConnection& connection, const std::string& serverName)
    : impl_(new Impl), connection_(connection) {
    try {
        int status = gnutls_certificate_allocate_credentials(&impl_->credentials);
        if (status < 0) Fail("credentials", status);
        gnutls_certificate_set_x509_system_trust(impl_->credentials);
        if (const char* caFile = std::getenv("MURMEL_CA_FILE"); caFile && *caFile) {
            status = gnutls_certificate_set_x509_trust_file(impl_->credentials, caFile,
                                                            GNUTLS_X509_FMT_PEM);
            if (status <= 0) Fail("CA file", status < 0 ? status : GNUTLS_E_FILE_ERROR);
        }
        status = gnutls_init(&impl_->session, GNUTLS_CLIENT);
        if (status < 0) Fail("init", status);
        gnutls_set_default_priority(impl_->session);
        gnutls_credentials_set(impl_->session, GNUTLS_CRD_CERTIFICATE, impl_->credentials);
        if (!IsAddressLiteral(serverName))
            gnutls_server_name_set(impl_->session, GNUTLS_NAME_DNS, serverName.data(),
                                   serverName.size());
        gnutls_session_set_verify_cert(impl_->session, serverName.c_str(), 0);
        gnutls_transport_set_ptr(impl_->session, &connection_);
        gnutls_transport_set_push_function(impl_->session, Push);
        gnutls_transport_set_pull_function(impl_->session, Pull);
        do {
            status = gnutls_handshake(impl_->session);
        } while (status < 0 && !gnutls_error_is_fatal(status));
        if (status < 0) {
            // Tell the server why (a bad certificate, say) rather than just vanish.
            if (!connection_.IsAborted()) gnutls_alert_send_appropriate(impl_->session, status);
            Fail("handshake", status);
        }
    } catch (...) {
        if (impl_->session) gnutls_deinit(impl_->session);
        if (impl_->credentials) gnutls_certificate_free_credentials(impl_->credentials);
        delete impl_;
        throw;
    }
}

TlsSession::~TlsSession() {
    gnutls_deinit(impl_->session);
    gnutls_certificate_free_credentials(impl_->credentials);
    delete impl_;
}

void TlsSession::Fail(const char* what, int code) const {
    if (connection_.IsAborted()) throw TcpAbortedError();
    if (code == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR && impl_->session) {
        gnutls_datum_t text{};
        unsigned status = gnutls_session_get_verify_cert_status(impl_->session);
        if (gnutls_certificate_verification_status_print(
                status, gnutls_certificate_type_get(impl_->session), &text, 0) == 0) {
            std::string message =
                std::string("TLS ") + what + ": " + reinterpret_cast<const char*>(text.data);
            gnutls_free(text.data);
            throw TlsError(message);
        }
    }
    throw TlsError(std::string("TLS ") + what + ": " + gnutls_strerror(code));
}

size_t TlsSession::Send(const void* data, size_t size) {
    for (;;) {
        ssize_t sent = gnutls_record_send(impl_->session, data, size);
        if (sent > 0) return static_cast<size_t>(sent);
        if (sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED) continue;
        Fail("send", static_cast<int>(sent));
    }
}

size_t TlsSession::Receive(void* data, size_t size) {
    for (;;) {
        ssize_t got = gnutls_record_recv(impl_->session, data, size);
        if (got >= 0) return static_cast<size_t>(got);
        if (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED) continue;
        if (got == GNUTLS_E_PREMATURE_TERMINATION && !connection_.IsAborted()) return 0;
        Fail("receive", static_cast<int>(got));
    }
}

void TlsSession::Bye() { gnutls_bye(impl_->session, GNUTLS_SHUT_WR); }

}  // namespace murmel
