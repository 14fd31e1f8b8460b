#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "IdMessage.h"
#include "IdReplyReader.h"

namespace murmel {

class TcpConnection;

enum TIdAuthenticationType { atNone, atLogin };
enum TWorkMode { wmRead, wmWrite };

inline constexpr int kSmtpPort = 25;
inline constexpr int kSmtpsPort = 465;              // TLS from the first byte
inline constexpr size_t kMaxGatheredWrite = 65536;  // lines gathered into one socket send

// The SMTP client: connect (greeting, EHLO or HELO, STARTTLS when offered), send
// one message (RSET, AUTH LOGIN, MAIL FROM with BODY= and SIZE= as the server
// takes them, RCPT TO, DATA, the message, "."), disconnect. Blocking, on one thread; only
// Connected() and DisconnectSocket() may be called from another. Failures are EIdException and its
// kin.
class TIdSMTP {
  public:
    TIdSMTP();
    ~TIdSMTP();

    std::string Host;
    int Port = kSmtpPort;
    std::string Username, Password;
    std::string HeloName;   // empty: this machine's full name, else "[local address]"
    std::string MailAgent;  // "X-Mailer" value; empty: no such header
    size_t MaxLineLength = kMaxReplyLine;
    // The password goes out only encrypted unless this is set for the account.
    bool AllowPlainAuth = false;

    std::function<void(TWorkMode, int64_t countMax)> OnWorkBegin;
    std::function<void(TWorkMode, int64_t count)> OnWork;
    std::function<void(TWorkMode)> OnWorkEnd;

    // atLogin also switches EHLO on; switching EHLO off also selects atNone.
    void SetAuthenticationType(TIdAuthenticationType type);
    TIdAuthenticationType AuthenticationType() const { return authenticationType_; }
    void SetUseEhlo(bool useEhlo);
    bool UseEhlo() const { return useEhlo_; }

    void Connect();
    void Send(TIdMessage& message);
    void Disconnect();  // "QUIT" without waiting for the answer, then close
    bool Connected() const;
    void DisconnectSocket();  // any thread: every pending or later call fails

    const TIdReply& LastReply() const { return lastReply_; }
    const std::vector<std::string>& AuthSchemes() const { return authSchemes_; }
    bool UsesTls() const;

    // Line primitives: a line with CR LF appended; a command and its reply.
    void WriteLine(std::string_view line);
    const TIdReply& SendCmd(std::string_view command, std::initializer_list<int> accepted = {});
    const TIdReply& GetResponse(std::initializer_list<int> accepted = {});
    void FlushOutput();

    void BeginWork(TWorkMode mode, int64_t countMax);
    void DoWork(TWorkMode mode, int64_t count);
    void EndWork(TWorkMode mode);

  private:
    void Greet();
    void ReadAuthSchemes();
    bool Offers(std::string_view keyword) const;
    std::string GreetingName() const;
    std::string MailFromCommand(const TIdMessage& message) const;
    void Authenticate();

    struct WorkRecord {
        int level = 0;
        int64_t max = 0, position = 0;
    };

    std::unique_ptr<TcpConnection> connection_;
    TIdLineReader reader_;
    std::string output_;
    TIdReply lastReply_;
    std::vector<std::string> authSchemes_;
    std::vector<std::string> extensions_;  // keywords of the EHLO reply, upper case
    TIdAuthenticationType authenticationType_ = atNone;
    bool useEhlo_ = true;
    bool authenticated_ = false;
    WorkRecord work_[2];
};

}  // namespace murmel
