#pragma once
#include <stdexcept>
#include <string>

namespace murmel {

// Every failure of composing or sending a message.
class EIdException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A server reply whose code the command did not accept.
class EIdProtocolReplyError : public EIdException {
  public:
    EIdProtocolReplyError(int code, const std::string& text) : EIdException(text), code_(code) {}
    int ReplyCode() const { return code_; }

  private:
    int code_;
};

// A failed socket or TLS call, with the system's code and text.
class EIdSocketError : public EIdException {
  public:
    using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdException {
  public:
    EIdConnClosedGracefully() : EIdException("Connection Closed Gracefully.") {}
};

class EIdNotConnected : public EIdException {
  public:
    EIdNotConnected() : EIdException("Not Connected") {}
};

// The server would get the password unencrypted; it was not sent.
class EIdPlainAuthRefused : public EIdException {
  public:
    EIdPlainAuthRefused()
        : EIdException(
              "the server offers no encryption; the password was not sent (to send it "
              "unencrypted to this server anyway, set \"AllowPlainAuth\"=\"YES\" in section "
              "\"SMTP\" of user.dll)") {}
};

class EIdMaxLineLengthExceeded : public EIdException {
  public:
    EIdMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

// A reply past kMaxReplyLines or kMaxReplyBytes; the rest of it is not read.
class EIdReplyTooLong : public EIdException {
  public:
    using EIdException::EIdException;
};

}  // namespace murmel
