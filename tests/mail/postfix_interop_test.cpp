// The send job against a real Postfix set up as strict providers run it:
// submission with STARTTLS required and SASL, TLS from the start, strict 8-bit
// checks, fully-qualified EHLO names required, Maildir delivery read back with
// Python's email package.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "GbkText.h"
#include "SendMailThread.h"
#include "ServerProcess.h"
#include "SettingsStore.h"

namespace murmel {
namespace {

using test::FreshFolder;
using test::ReadFile;
using test::ServerProcess;
using test::WriteFile;

constexpr const char* kUser = "voice";
constexpr const char* kPassword = "Pa55-word-not-for-the-wire";

class Listener : public TSendMailListener {
  public:
    void CaptionChanged(const std::string&) override {}
    void WorkBegin(int64_t total) override { begunWith = total; }
    void Failed(const std::string& reason) override { failure = reason; }
    int64_t begunWith = -1;
    std::string failure;
};

std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        pclose(pipe);
    }
    return out;
}

// The value after "key: " on its line of a description, or "(none)".
std::string Field(const std::string& text, const std::string& key) {
    size_t at = text.find(key + ": ");
    if (at == std::string::npos) return "(none)";
    at += key.size() + 2;
    return text.substr(at, text.find('\n', at) - at);
}

class PostfixInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "zh_CN.UTF-8", 1);
        if (geteuid() != 0) GTEST_SKIP() << "Postfix's master runs only as root";
        for (const char* program :
             {"/usr/lib/postfix/sbin/master", "/usr/sbin/saslpasswd2", "/usr/sbin/postconf"})
            if (access(program, X_OK) != 0)
                GTEST_SKIP() << program << " is missing (Debian's postfix and sasl2-bin)";
        if (!getpwnam("postfix")) GTEST_SKIP() << "no postfix user";
        folder_ = FreshFolder("postfix");
        std::string command =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
            " -nodes -keyout " +
            folder_ + "key.pem -out " + folder_ +
            "cert.pem -days 2 -subj /CN=localhost"
            " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        try {
            std::vector<std::string> args{folder_ + "ports", folder_ + "cert.pem",
                                          folder_ + "key.pem", kUser, kPassword};
            if (WantsPort465()) args.push_back("--smtps-465");
            server_ =
                std::make_unique<ServerProcess>(test::MailTestScript("postfix_server.py"), args);
        } catch (const std::exception& error) {
            // Port 465 may be taken by another program at that very moment.
            if (WantsPort465()) GTEST_SKIP() << "port 465 could not be had";
            // Installed and run as root, it must start: anything else is a fault.
            FAIL() << "Postfix did not start (" << error.what()
                   << "): " << ReadFile(folder_ + "ports.log");
        }
        std::istringstream ports(ReadFile(folder_ + "ports"));
        ports >> submission_ >> smtps_ >> plain_ >> small_ >> run_;
        setenv("MURMEL_CA_FILE", (folder_ + "cert.pem").c_str(), 1);
    }
    void TearDown() override { unsetenv("MURMEL_CA_FILE"); }
    virtual bool WantsPort465() const { return false; }

    std::string ProgramFolder(int port, const char* allowPlain = nullptr) {
        std::string program = FreshFolder("program" + std::to_string(++programs_));
        SettingsStore settings(program);
        settings.WriteText("SMTP", "ServerName", "localhost");
        settings.WriteText("SMTP", "ServerPort", std::to_string(port));
        settings.WriteText("SMTP", "MyName", Utf8ToGbk("张三"));
        settings.WriteText("SMTP", "EmailAdd", "me@murmel.test");
        settings.WriteText("SMTP", "SMTPAuthenticationType", "1");
        settings.WriteText("SMTP", "ServerUser", kUser);
        settings.WriteText("SMTP", "ServerPassword", kPassword);
        if (allowPlain) settings.WriteText("SMTP", "AllowPlainAuth", allowPlain);
        return program;
    }

    // The delivered messages, waiting up to 20 s for the count.
    std::vector<std::string> Delivered(size_t count) {
        std::string box = run_ + "/mail/friend/new/";
        std::vector<std::string> files;
        for (int i = 0; i < 200 && files.size() < count; ++i) {
            files.clear();
            if (std::filesystem::exists(box))
                for (const auto& entry : std::filesystem::directory_iterator(box))
                    files.push_back(entry.path());
            if (files.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::sort(files.begin(), files.end());
        return files;
    }
    std::string Log() { return ReadFile(run_ + "/maillog"); }
    // The log once it holds the text, or after 10 s; Postfix writes it a little later.
    std::string LogWith(const std::string& text) {
        std::string log = Log();
        for (int i = 0; i < 100 && log.find(text) == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            log = Log();
        }
        return log;
    }

    std::string folder_, run_;
    int submission_ = 0, smtps_ = 0, plain_ = 0, small_ = 0, programs_ = 0;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(PostfixInterop, ChineseVoiceMailIsAcceptedAndReadsBackExactly) {
    std::string files = FreshFolder("files");
    std::string attachment = files + "语音留言.mvm";
    std::string voice;
    for (int i = 0; i < 30000; ++i) voice += static_cast<char>(i * 7 + (i >> 8));
    WriteFile(attachment, voice);
    std::string longLine;
    while (longLine.size() < 1500 * 3) longLine += "长";  // 1,500 characters without a break
    std::string body = "你好,这是一封语音邮件。\r\n" + longLine + "\r\n";
    std::string subject = "语音留言 \xF0\x9F\x98\x80";
    Listener listener;
    TSendMailThread job({"朋友 <friend@murmel.test>", subject, body, {attachment}},
                        ProgramFolder(submission_), listener);
    job.Execute();
    ASSERT_TRUE(job.Accepted()) << listener.failure << "\n" << Log();

    std::vector<std::string> delivered = Delivered(1);
    ASSERT_EQ(delivered.size(), 1u) << Log();
    std::string read =
        Output("/usr/bin/python3 " + test::MailTestScript("read_mail.py") + " " + delivered[0]);
    EXPECT_EQ(Field(read, "subject"), subject);
    EXPECT_EQ(Field(read, "name"), "语音留言.mvm");
    EXPECT_EQ(Field(read, "sha256") + "  " + attachment + "\n",
              Output("sha256sum '" + attachment + "'"));
    std::string text = Field(read, "text");
    std::string expected = "\"你好,这是一封语音邮件。\\r\\n" + longLine + "\\r\\n";
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    EXPECT_EQ(Field(read, "header-8bit"), "no");
    EXPECT_LE(std::stoi(Field(read, "longest-line")), 998);

    std::string log = LogWith("status=sent");
    std::string message = ReadFile(delivered[0]);
    EXPECT_NE(message.find("with ESMTPSA"), std::string::npos);  // TLS and SASL
    EXPECT_NE(log.find("sasl_method=LOGIN, sasl_username=voice"), std::string::npos) << log;
    std::string id = Field(read, "message-id");
    EXPECT_NE(id.find("@murmel.test>"), std::string::npos);
    EXPECT_NE(log.find("message-id=" + id), std::string::npos) << log;
}

// Clients speak TLS first on port 465 only.
class PostfixOn465 : public PostfixInterop {
    bool WantsPort465() const override { return true; }
};

TEST_F(PostfixOn465, TlsFromTheFirstByteOnTheSmtpsPort) {
    if (smtps_ != kSmtpsPort) GTEST_SKIP() << "port 465 is taken here";
    Listener listener;
    TSendMailThread job({"friend@murmel.test", "hello", "你好 8-bit text", {}},
                        ProgramFolder(smtps_), listener);
    job.Execute();
    ASSERT_TRUE(job.Accepted()) << listener.failure << "\n" << Log();
    ASSERT_EQ(Delivered(1).size(), 1u);
    std::string message = ReadFile(Delivered(1)[0]);
    EXPECT_NE(message.find("with ESMTPSA"), std::string::npos);
    // 8-bit as it was declared (BODY=8BITMIME, "8bit"), which strict checking accepts.
    EXPECT_NE(message.find("\n" + Utf8ToGbk("你好 8-bit text") + "\n"), std::string::npos);
    std::string read =
        Output("/usr/bin/python3 " + test::MailTestScript("read_mail.py") + " " + Delivered(1)[0]);
    EXPECT_EQ(Field(read, "text-charset"), "gb2312");
    EXPECT_EQ(Field(read, "text").rfind("\"你好 8-bit text\\n", 0), 0u) << read;  // LF in Maildir
}

TEST_F(PostfixInterop, AServerWithoutEncryptionNeverSeesThePassword) {
    Listener refused;
    TSendMailThread job({"friend@murmel.test", "s", "b", {}}, ProgramFolder(plain_), refused);
    job.Execute();
    EXPECT_FALSE(job.Accepted());
    EXPECT_NE(refused.failure.find("the server offers no encryption; the password was not sent"),
              std::string::npos)
        << refused.failure;
    // Postfix counts every command of a session; no AUTH was among them.
    std::string log = LogWith("disconnect from localhost[127.0.0.1] ehlo=1 rset=1");
    EXPECT_NE(log.find("disconnect from localhost[127.0.0.1] ehlo=1 rset=1"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("auth="), std::string::npos) << log;
    EXPECT_EQ(log.find("sasl_method"), std::string::npos);

    Listener allowed;
    TSendMailThread plain({"friend@murmel.test", "s", "b", {}}, ProgramFolder(plain_, "YES"),
                          allowed);
    plain.Execute();
    EXPECT_TRUE(plain.Accepted()) << allowed.failure << "\n" << Log();
    EXPECT_NE(LogWith("sasl_method=LOGIN").find("sasl_method=LOGIN"), std::string::npos);
}

TEST_F(PostfixInterop, OversizedMessageIsRefusedBeforeItsBodyIsSent) {
    std::string files = FreshFolder("big");
    WriteFile(files + "big.mvm", std::string(60000, 'x'));
    Listener listener;
    TSendMailThread job({"friend@murmel.test", "s", "b", {files + "big.mvm"}},
                        ProgramFolder(small_), listener);
    job.Execute();
    EXPECT_FALSE(job.Accepted());
    EXPECT_NE(listener.failure.find("size exceeds"), std::string::npos) << listener.failure;
    EXPECT_EQ(listener.begunWith, -1);  // no body was uploaded
    std::string log = LogWith(" disconnect from ");
    EXPECT_EQ(log.find("data="), std::string::npos) << log;
}

// The server is as strict as it should be: what the client used to send is refused.
TEST_F(PostfixInterop, StrictChecksRefuseWhatTheClientUsedToSend) {
    auto send = [&](const std::string& helo, const std::string& message) {
        WriteFile(folder_ + "raw.eml", message);
        return Output("/usr/bin/python3 " + test::MailTestScript("raw_send.py") + " " +
                      std::to_string(submission_) + " " + folder_ + "cert.pem " + kUser + " " +
                      kPassword + " " + helo + " " + folder_ + "raw.eml");
    };
    std::string head = "From: me@murmel.test\r\nTo: friend@murmel.test\r\nSubject: s\r\n";
    EXPECT_EQ(send("client.murmel.test", head + "\r\nplain\r\n"), "250 sent\n");
    EXPECT_NE(send("client.murmel.test", head + "Content-Disposition: attachment; filename=\"" +
                                             Utf8ToGbk("语音") + ".mvm\"\r\n\r\nx\r\n")
                  .find("8-bit data in message header"),
              std::string::npos);
    EXPECT_NE(send("client.murmel.test", head + "\r\n" + Utf8ToGbk("你好") + "\r\n")
                  .find("8-bit data in message body"),
              std::string::npos);
    EXPECT_NE(send("vm", head + "\r\nplain\r\n").find("need fully-qualified hostname"),
              std::string::npos);
}

}  // namespace
}  // namespace murmel
