#include "SendMailThread.h"

#include <unistd.h>

#include "GbkText.h"
#include "HeaderCharset.h"
#include "IdException.h"
#include "MailFooter.h"
#include "SafeFile.h"
#include "SettingsStore.h"

namespace murmel {
namespace {

constexpr const char* kSection = "SMTP";

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Size of a regular file that can be opened for reading; -1 and the reason when
// it cannot. A FIFO or a device is refused without waiting on it.
int64_t ReadableFileSize(const std::string& path, std::string& reason) {
    try {
        uint64_t size = 0;
        close(OpenRegularFile(path, &size, kMaxInputFileSize));
        return static_cast<int64_t>(size);
    } catch (const EFileError& error) {
        reason = error.Reason();
        return -1;
    }
}

// "Socket Error # 111\nConnection refused" reads "Connection refused" to a user.
std::string WithoutSocketErrorNumber(const std::string& text) {
    const std::string prefix = "Socket Error # ";
    size_t lineEnd = text.find('\n');
    if (text.compare(0, prefix.size(), prefix) != 0 || lineEnd == std::string::npos) return text;
    return text.substr(lineEnd + 1);
}

}  // namespace

std::string SendFailureReason(const std::exception& error) {
    if (auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&error))
        return "The server refused: " + std::to_string(reply->ReplyCode()) + " " + reply->what();
    if (dynamic_cast<const EIdConnClosedGracefully*>(&error))
        return "The server closed the connection";
    if (dynamic_cast<const EIdNotConnected*>(&error)) return "The connection was closed";
    return WithoutSocketErrorNumber(error.what());
}

std::string CaptionCreated() { return Utf8ToGbk("正在发送......"); }
std::string CaptionConnecting() { return Utf8ToGbk("正在连接..."); }
std::string CaptionSending() { return Utf8ToGbk("正在发送语音邮件"); }
std::string CaptionSucceeded() { return Utf8ToGbk("邮件发送成功"); }
std::string CaptionFailed() { return Utf8ToGbk("错误,已断开连接"); }

int SmtpPortFromSetting(const std::string& text) {
    if (text.empty() || text.size() > 5) return kSmtpPort;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return kSmtpPort;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535 ? port : kSmtpPort;
}

TSendMailThread::TSendMailThread(TSendMailFields fields, std::string programFolder,
                                 TSendMailListener& listener)
    : fields_(std::move(fields)), programFolder_(std::move(programFolder)), listener_(listener) {
    smtp_.OnWorkBegin = [this](TWorkMode, int64_t) { listener_.WorkBegin(bodySize_.load()); };
    smtp_.OnWork = [this](TWorkMode, int64_t count) { listener_.Work(count); };
    smtp_.OnWorkEnd = [this](TWorkMode) { listener_.WorkEnd(); };
}

TSendMailThread::~TSendMailThread() { Wait(); }

void TSendMailThread::Start() {
    running_ = true;
    worker_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            running_ = false;  // a listener's failure must not end the program
        }
    });
}

void TSendMailThread::Wait() {
    if (worker_.joinable()) worker_.join();
}

void TSendMailThread::Cancel() { smtp_.DisconnectSocket(); }

void TSendMailThread::Execute() {
    running_ = true;
    bool built = false;
    try {
        built = BuildMessage();
    } catch (const std::exception& error) {
        // A recipient text the parser refuses fails the send like the server would.
        listener_.CaptionChanged(CaptionFailed());
        listener_.Failed(SendFailureReason(error));
    }
    if (built) Deliver();
    running_ = false;
    listener_.Finished(accepted_.load());
}

bool TSendMailThread::BuildMessage() {
    SettingsStore settings(programFolder_);
    THeaderCharset charset = HeaderCharset();
    auto setting = [&](const char* key) { return settings.ReadText(kSection, key, ""); };

    message_.Clear();
    TMailText recipients = Utf8ToMailText(fields_.Recipient, charset);
    ParseAddressList(message_.Recipients, recipients.bytes);
    for (TIdEMailAddressItem& item : message_.Recipients) item.NameUtf8 = recipients.utf8;
    TMailText name = GbkToMailText(setting("MyName"), charset);
    message_.From.Name = name.bytes;
    message_.From.NameUtf8 = name.utf8;
    TMailText subject = Utf8ToMailText(fields_.Subject, charset);
    message_.Subject = subject.bytes;
    message_.SubjectUtf8 = subject.utf8;
    AddBody();
    message_.From.Address = GbkToCodePage(setting("EmailAdd"), charset);
    for (const std::string& path : fields_.Attachments) {
        TMailText fileName = Utf8ToMailText(BaseName(path), charset);
        message_.Parts.push_back({path, fileName.bytes, fileName.utf8});
        std::string reason;
        int64_t size = ReadableFileSize(path, reason);
        if (size < 0) {
            listener_.Failed("Cannot open file \"" + path + "\". " + reason);
            return false;  // nothing is sent; the caption stays
        }
        total_ += size;
    }
    smtp_.Host = setting("ServerName");
    smtp_.Port = SmtpPortFromSetting(setting("ServerPort"));
    smtp_.SetAuthenticationType(setting("SMTPAuthenticationType") == "1" ? atLogin : atNone);
    smtp_.Username = setting("ServerUser");
    smtp_.Password = setting("ServerPassword");
    smtp_.AllowPlainAuth = setting("AllowPlainAuth") == "YES";
    CheckMessageHeaders(message_);  // refused before any connection is made
    // Counted from the attachments' sizes: encoding them only to count would read
    // every file twice.
    bodySize_ = static_cast<int64_t>(MessageTransport(message_, true).bodySize);
    return true;
}

// The user's text and the footer, all in the locale's code page, or all in
// UTF-8 when the code page cannot hold some of it.
void TSendMailThread::AddBody() {
    const THeaderCharset charset = HeaderCharset();
    std::vector<std::string> entries{fields_.Body};
    entries.insert(entries.end(), MailFooterLines().begin(), MailFooterLines().end());
    bool utf8 = false;
    for (const std::string& entry : entries) utf8 = utf8 || Utf8ToMailText(entry, charset).utf8;
    message_.BodyUtf8 = utf8;
    for (const std::string& entry : entries)
        message_.Body.push_back(utf8 ? entry : Utf8ToCodePage(entry, charset));
}

void TSendMailThread::Deliver() {
    try {
        listener_.CaptionChanged(CaptionConnecting());
        smtp_.Connect();
        listener_.CaptionChanged(CaptionSending());
        smtp_.Send(message_);
        accepted_ = true;
        listener_.MessageAccepted();
        listener_.CaptionChanged(CaptionSucceeded());
    } catch (const std::exception& error) {
        listener_.CaptionChanged(CaptionFailed());
        listener_.Failed(SendFailureReason(error));
    }
    smtp_.Disconnect();
}

}  // namespace murmel
