#include "SendMailThread.h"

#include <filesystem>
#include <fstream>

#include "GbkText.h"
#include "HeaderCharset.h"
#include "IdException.h"
#include "MailFooter.h"
#include "SettingsStore.h"

namespace murmel {
namespace {

constexpr const char* kSection = "SMTP";

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Size of a file that can be opened for reading; -1 when it cannot.
int64_t ReadableFileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<int64_t>(size);
}

// Counts what the SMTP writer hands to the socket between the body's begin and end.
class BodySizeCounter : public TIdMessageLineWriter {
  public:
    void WriteLine(std::string_view line) override {
        if (inBody_) size_ += static_cast<int64_t>(line.size()) + 2;  // CR LF
    }
    void BeginBody() override { inBody_ = true; }
    void EndBody() override { inBody_ = false; }
    int64_t Size() const { return size_; }

  private:
    bool inBody_ = false;
    int64_t size_ = 0;
};

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
    ParseAddressList(message_.Recipients, Utf8ToCodePage(fields_.Recipient, charset));
    message_.From.Name = GbkToCodePage(setting("MyName"), charset);
    message_.Subject = Utf8ToCodePage(fields_.Subject, charset);
    message_.Body.push_back(Utf8ToCodePage(fields_.Body, charset));
    for (const std::string& line : MailFooterLines())
        message_.Body.push_back(Utf8ToCodePage(line, charset));
    message_.From.Address = GbkToCodePage(setting("EmailAdd"), charset);
    for (const std::string& path : fields_.Attachments) {
        message_.Parts.push_back({path, Utf8ToCodePage(BaseName(path), charset)});
        int64_t size = ReadableFileSize(path);
        if (size < 0) {
            listener_.Failed("Cannot open file \"" + path + "\"");
            return false;  // nothing is sent; the caption stays
        }
        total_ += size;
    }
    smtp_.Host = setting("ServerName");
    smtp_.Port = SmtpPortFromSetting(setting("ServerPort"));
    smtp_.SetAuthenticationType(setting("SMTPAuthenticationType") == "1" ? atLogin : atNone);
    smtp_.Username = setting("ServerUser");
    smtp_.Password = setting("ServerPassword");
    CheckMessageHeaders(message_);  // refused before any connection is made
    BodySizeCounter counter;
    WriteMessage(message_, counter);
    bodySize_ = counter.Size();
    return true;
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
