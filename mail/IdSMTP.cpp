#include "IdSMTP.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "Base64.h"
#include "IdException.h"
#include "TcpConnection.h"

namespace murmel {
namespace {

// Socket and TLS failures in the client's own terms.
template <class Call>
auto Translate(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const TcpAbortedError&) {
        throw EIdNotConnected();
    } catch (const TcpError& error) {
        if (error.Code() == EPIPE) throw EIdConnClosedGracefully();
        throw EIdSocketError(error.what());
    } catch (const TlsError& error) {
        throw EIdSocketError(error.what());
    }
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// Hands the message's lines to the connection; the body is one piece of write work.
class SmtpMessageWriter : public TIdMessageLineWriter {
  public:
    explicit SmtpMessageWriter(TIdSMTP& smtp) : smtp_(smtp) {}
    void WriteLine(std::string_view line) override { smtp_.WriteLine(line); }
    void BeginBody() override {
        smtp_.FlushOutput();  // the header block is not body work
        smtp_.BeginWork(wmWrite, 0);
    }
    void EndBody() override {
        struct EndOnExit {
            TIdSMTP& smtp;
            ~EndOnExit() { smtp.EndWork(wmWrite); }
        } end{smtp_};
        smtp_.FlushOutput();
    }

  private:
    TIdSMTP& smtp_;
};

}  // namespace

TIdSMTP::TIdSMTP()
    : connection_(std::make_unique<TcpConnection>()),
      reader_([](char*, size_t) -> size_t { throw EIdNotConnected(); }) {}

TIdSMTP::~TIdSMTP() = default;

void TIdSMTP::SetAuthenticationType(TIdAuthenticationType type) {
    authenticationType_ = type;
    if (type == atLogin) useEhlo_ = true;
}

void TIdSMTP::SetUseEhlo(bool useEhlo) {
    useEhlo_ = useEhlo;
    if (!useEhlo) authenticationType_ = atNone;
}

bool TIdSMTP::Connected() const { return connection_->IsOpen() && !connection_->IsAborted(); }

bool TIdSMTP::UsesTls() const { return connection_->IsTls(); }

void TIdSMTP::DisconnectSocket() { connection_->Abort(); }

void TIdSMTP::Connect() {
    authSchemes_.clear();
    extensions_.clear();
    output_.clear();
    authenticated_ = false;
    reader_ = TIdLineReader(
        [this](char* data, size_t size) {
            return Translate([&] { return connection_->Receive(data, size); });
        },
        MaxLineLength);
    Translate([&] { connection_->Connect(Host, static_cast<uint16_t>(Port)); });
    try {
        if (Port == kSmtpsPort) Translate([&] { connection_->StartTls(Host); });
        GetResponse({220});
        Greet();
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TIdSMTP::Greet() {
    std::string name = HeloName.empty() ? GreetingName() : HeloName;
    if (useEhlo_) {
        if (SendCmd("EHLO " + name).code == 250) {
            ReadAuthSchemes();
            if (!UsesTls() && Offers("STARTTLS")) {
                // Never fall back to plain text once the server offers TLS.
                SendCmd("STARTTLS", {220});
                reader_.Clear();
                Translate([&] { connection_->StartTls(Host); });
                SendCmd("EHLO " + name, {250});
                ReadAuthSchemes();
            }
            return;
        }
    }
    SendCmd("HELO " + name, {250});
}

void TIdSMTP::ReadAuthSchemes() {
    authSchemes_.clear();
    extensions_.clear();
    for (size_t i = 0; i < lastReply_.text.size(); ++i) {
        std::string line = Upper(lastReply_.text[i]);
        if (i > 0) extensions_.push_back(line.substr(0, line.find(' ')));
        if (line.compare(0, 5, "AUTH ") != 0 && line.compare(0, 5, "AUTH=") != 0) continue;
        std::string rest = line.substr(4);
        std::replace(rest.begin(), rest.end(), '=', ' ');
        while (!rest.empty()) {
            size_t space = rest.find(' ');
            std::string token = rest.substr(0, space);
            rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
            if (!token.empty() &&
                std::find(authSchemes_.begin(), authSchemes_.end(), token) == authSchemes_.end())
                authSchemes_.push_back(token);
        }
    }
}

// Servers refuse a bare host name; an address literal is always acceptable.
std::string TIdSMTP::GreetingName() const {
    std::string name = LocalDomainName();
    return name.empty() ? connection_->LocalAddressLiteral() : name;
}

std::string TIdSMTP::MailFromCommand(const TIdMessage& message) const {
    TIdMessageTransport transport = MessageTransport(message, Offers("8BITMIME"));
    std::string command = "MAIL FROM:<" + message.From.Address + ">";
    if (transport.eightBit) command += " BODY=8BITMIME";
    if (Offers("SIZE")) command += " SIZE=" + std::to_string(transport.size);
    return command;
}

bool TIdSMTP::Offers(std::string_view keyword) const {
    return std::find(extensions_.begin(), extensions_.end(), keyword) != extensions_.end();
}

void TIdSMTP::Authenticate() {
    bool offered =
        std::find(authSchemes_.begin(), authSchemes_.end(), "LOGIN") != authSchemes_.end();
    if (authenticationType_ != atLogin || !offered || authenticated_) return;
    if (!UsesTls() && !AllowPlainAuth) throw EIdPlainAuthRefused();
    SendCmd("AUTH LOGIN", {334});
    SendCmd(EncodeBase64(Username), {334});
    SendCmd(EncodeBase64(Password), {235});
    authenticated_ = true;
}

void TIdSMTP::Send(TIdMessage& message) {
    CheckMessageHeaders(message);  // before the first command goes out
    SendCmd("RSET");
    Authenticate();
    message.MsgId = NewMessageId(message.From.Address);  // every send is a new message
    SendCmd(MailFromCommand(message), {250});
    for (const TIdEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const TIdEMailAddressItem& item : *list)
            SendCmd("RCPT TO:<" + item.Address + ">", {250, 251});
    SendCmd("DATA", {354});
    message.ExtraHeaders.SetValue("X-Mailer", MailAgent);
    SmtpMessageWriter writer(*this);
    WriteMessage(message, writer, Offers("8BITMIME"));
    SendCmd(".", {250});
}

void TIdSMTP::Disconnect() {
    if (Connected()) {
        try {
            WriteLine("QUIT");
            FlushOutput();
        } catch (const std::exception&) {
            // The connection is going anyway.
        }
    }
    output_.clear();
    connection_->Close();
    authenticated_ = false;
}

void TIdSMTP::WriteLine(std::string_view line) {
    output_.append(line);
    output_ += "\r\n";
    if (output_.size() >= kMaxGatheredWrite) FlushOutput();
}

void TIdSMTP::FlushOutput() {
    size_t done = 0;
    try {
        while (done < output_.size()) {
            size_t sent = Translate(
                [&] { return connection_->Send(output_.data() + done, output_.size() - done); });
            done += sent;
            DoWork(wmWrite, static_cast<int64_t>(sent));
        }
    } catch (...) {
        output_.erase(0, done);
        throw;
    }
    output_.clear();
}

const TIdReply& TIdSMTP::SendCmd(std::string_view command, std::initializer_list<int> accepted) {
    WriteLine(command);
    return GetResponse(accepted);
}

const TIdReply& TIdSMTP::GetResponse(std::initializer_list<int> accepted) {
    FlushOutput();
    lastReply_ = ReadReply(reader_);
    if (accepted.size() > 0 &&
        std::find(accepted.begin(), accepted.end(), lastReply_.code) == accepted.end())
        throw EIdProtocolReplyError(lastReply_.code, lastReply_.JoinedText());
    return lastReply_;
}

void TIdSMTP::BeginWork(TWorkMode mode, int64_t countMax) {
    WorkRecord& work = work_[mode];
    if (++work.level != 1) return;
    work.max = countMax;
    work.position = 0;
    if (OnWorkBegin) OnWorkBegin(mode, countMax);
}

void TIdSMTP::DoWork(TWorkMode mode, int64_t count) {
    WorkRecord& work = work_[mode];
    if (work.level < 1) return;
    work.position += count;
    if (OnWork) OnWork(mode, work.position);
}

void TIdSMTP::EndWork(TWorkMode mode) {
    WorkRecord& work = work_[mode];
    if (work.level == 1 && OnWorkEnd) OnWorkEnd(mode);
    if (work.level > 0) --work.level;
}

}  // namespace murmel
