// The send job against a real SMTP server (aiosmtpd) and murmel-cli send.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
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

class RecordingListener : public TSendMailListener {
  public:
    void CaptionChanged(const std::string& caption) override {
        std::lock_guard<std::mutex> lock(lock_);
        captions.push_back(caption);
    }
    void WorkBegin(int64_t total) override { begunWith = total; }
    void Work(int64_t position) override { lastPosition = position; }
    void WorkEnd() override { ++ends; }
    void MessageAccepted() override { ++accepted; }
    void Failed(const std::string& reason) override { failure = reason; }
    std::vector<std::string> Captions() {
        std::lock_guard<std::mutex> lock(lock_);
        return captions;
    }
    std::vector<std::string> captions;
    int64_t begunWith = -1, lastPosition = 0;
    int ends = 0, accepted = 0;
    std::string failure;

  private:
    std::mutex lock_;
};

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

struct RealServer {
    explicit RealServer(const std::string& name, std::vector<std::string> options = {})
        : folder(FreshFolder(name)), server(test::MailTestScript("aiosmtpd_server.py"), [&] {
              std::filesystem::create_directories(folder + "mail");
              std::vector<std::string> args{folder + "port", folder + "mail/"};
              args.insert(args.end(), options.begin(), options.end());
              return args;
          }()) {}
    std::string Mail(const std::string& name) const { return ReadFile(folder + "mail/" + name); }
    bool Received() const { return std::filesystem::exists(folder + "mail/1.eml"); }
    std::string folder;
    ServerProcess server;
};

// A program folder of the test's own with the "SMTP" settings of a user.
std::string ProgramFolderFor(int port, const std::string& host = "localhost") {
    std::string folder = FreshFolder("program");
    SettingsStore settings(folder);
    settings.WriteText("SMTP", "ServerName", host);
    settings.WriteText("SMTP", "ServerPort", std::to_string(port));
    settings.WriteText("SMTP", "MyName", Utf8ToGbk("张三"));
    settings.WriteText("SMTP", "EmailAdd", "me@murmel.example");
    return folder;
}

class SendJob : public ::testing::Test {
  protected:
    void SetUp() override { setenv("LC_ALL", "zh_CN.UTF-8", 1); }
};

TEST_F(SendJob, TwoAttachmentsArriveByteIdentical) {
    RealServer real("real");
    std::string files = FreshFolder("files");
    std::string voice = RandomBytes(300001, 1), small = RandomBytes(57, 2);
    WriteFile(files + "voice.mvm", voice);
    WriteFile(files + "small.bin", small);
    RecordingListener listener;
    TSendMailFields fields{"Friend <friend@example.com>; other@example.com",
                           "语音邮件 test",
                           "你好\r\n.\r\n",
                           {files + "voice.mvm", files + "small.bin"}};
    TSendMailThread job(fields, ProgramFolderFor(real.server.Port()), listener);
    job.Start();
    job.Wait();
    EXPECT_TRUE(job.Accepted()) << listener.failure;
    EXPECT_EQ(job.Total(), 300001 + 57);
    // The bar's maximum is what goes out, so it fills exactly at the end of the body.
    EXPECT_GT(job.BodySize(), job.Total() * 4 / 3);
    EXPECT_EQ(listener.begunWith, job.BodySize());
    EXPECT_EQ(listener.lastPosition, job.BodySize());
    EXPECT_EQ(listener.ends, 1);
    EXPECT_EQ(listener.accepted, 1);
    EXPECT_EQ(listener.Captions(), (std::vector<std::string>{CaptionConnecting(), CaptionSending(),
                                                             CaptionSucceeded()}));
    EXPECT_EQ(real.Mail("1.part1"), voice);
    EXPECT_EQ(real.Mail("1.part1.name"), "voice.mvm");
    EXPECT_EQ(real.Mail("1.part2"), small);
    EXPECT_EQ(
        real.Mail("1.envelope"),
        "MAIL FROM me@murmel.example\nRCPT TO friend@example.com\nRCPT TO other@example.com\n");
    std::string eml = real.Mail("1.eml");
    EXPECT_NE(eml.find("From: =?GB2312?B?1cXI/Q==?= <me@murmel.example>\r\n"), std::string::npos);
    EXPECT_NE(eml.find(Utf8ToGbk("你好\r\n.\r\n\r\n=====")), std::string::npos);
    EXPECT_NE(eml.find(Utf8ToGbk("这是一封语音邮件,主要的内容在邮件的附件中")), std::string::npos);
}

TEST_F(SendJob, AuthLoginAgainstAServerThatRequiresIt) {
    RealServer real("auth", {"--auth", "user:secret"});
    struct Case {
        const char* type;
        const char* allowPlain;  // absent or anything but "YES": refused without TLS
        bool accepted;
    };
    for (Case c : {Case{"0", "YES", false}, Case{"1", nullptr, false}, Case{"1", "yes", false},
                   Case{"1", "YES", true}}) {
        std::string program = ProgramFolderFor(real.server.Port());
        SettingsStore settings(program);
        settings.WriteText("SMTP", "SMTPAuthenticationType", c.type);
        settings.WriteText("SMTP", "ServerUser", "user");
        settings.WriteText("SMTP", "ServerPassword", "secret");
        if (c.allowPlain) settings.WriteText("SMTP", "AllowPlainAuth", c.allowPlain);
        RecordingListener listener;
        TSendMailThread job({"a@example.com", "s", "b", {}}, program, listener);
        job.Execute();
        std::string label = std::string(c.type) + "/" + (c.allowPlain ? c.allowPlain : "-");
        EXPECT_EQ(job.Accepted(), c.accepted) << label << ": " << listener.failure;
        EXPECT_EQ(job.Total(), 0);
        EXPECT_EQ(listener.begunWith, c.accepted ? job.BodySize() : -1);
        EXPECT_EQ(listener.Captions().back(), c.accepted ? CaptionSucceeded() : CaptionFailed());
        if (std::string(c.type) == "1" && !c.accepted) {
            EXPECT_NE(listener.failure.find("the password was not sent"), std::string::npos);
        }
    }
}

// What Python's email package reads from a stored message (read_mail.py).
std::string Read(const RealServer& real, int n, const std::string& key) {
    std::string text = real.Mail(std::to_string(n) + ".read");
    size_t at = text.find(key + ": ");
    if (at == std::string::npos) return "(none)";
    at += key.size() + 2;
    return text.substr(at, text.find('\n', at) - at);
}

// The start of the JSON string that holds this text and more.
std::string JsonStart(const std::string& utf8) {
    std::string json = "\"";
    for (char c : utf8) {
        if (c == '\r')
            json += "\\r";
        else if (c == '\n')
            json += "\\n";
        else if (c == '"' || c == '\\')
            json += std::string("\\") + c;
        else
            json += c;
    }
    return json;
}

TEST_F(SendJob, TextOutsideTheCodePageLongLinesAndChineseNamesReadBackExactly) {
    RealServer real("readback");
    std::string files = FreshFolder("readback-files");
    WriteFile(files + "语音留言.mvm", RandomBytes(5000, 4));
    std::string longLine;
    while (longLine.size() < 1500 * 3) longLine += "长";  // 1,500 characters, one line
    std::string body = "你好,ß 안녕\r\n" + longLine + "\r\n";
    std::string subject = "语音 \xF0\x9F\x98\x80 镕";
    for (int send = 0; send < 2; ++send) {
        RecordingListener listener;
        TSendMailThread job({"friend@example.com", subject, body, {files + "语音留言.mvm"}},
                            ProgramFolderFor(real.server.Port()), listener);
        job.Execute();
        ASSERT_TRUE(job.Accepted()) << listener.failure;
    }
    EXPECT_EQ(Read(real, 1, "subject"), subject);
    EXPECT_EQ(Read(real, 1, "name"), "语音留言.mvm");
    EXPECT_EQ(real.Mail("1.part1"), ReadFile(files + "语音留言.mvm"));
    EXPECT_EQ(Read(real, 1, "text-charset"), "utf-8");
    std::string text = Read(real, 1, "text");
    EXPECT_EQ(text.rfind(JsonStart(body), 0), 0u) << text.substr(0, 200);
    EXPECT_EQ(Read(real, 1, "header-8bit"), "no");
    EXPECT_LE(std::stoi(Read(real, 1, "longest-line")), 998);
    EXPECT_EQ(Read(real, 1, "text-transfer"), "base64");      // a line over 998 octets
    EXPECT_EQ(real.Mail("1.options").rfind("SIZE=", 0), 0u);  // nothing 8-bit left to declare
    std::string id1 = Read(real, 1, "message-id"), id2 = Read(real, 2, "message-id");
    EXPECT_EQ(id1.rfind("<", 0), 0u);
    EXPECT_NE(id1.find("@murmel.example>"), std::string::npos);
    EXPECT_NE(id1, id2);
}

TEST_F(SendJob, TextThatFitsKeepsTheLocalesCharsetLabelledByItsBytes) {
    RealServer real("labels");
    RecordingListener listener;
    TSendMailThread job({"friend@example.com", "朱镕基", "你好", {}},
                        ProgramFolderFor(real.server.Port()), listener);
    job.Execute();
    ASSERT_TRUE(job.Accepted()) << listener.failure;
    std::string eml = real.Mail("1.eml");
    EXPECT_NE(eml.find("Subject: =?GBK?B?"), std::string::npos);  // 镕 is not in GB2312
    EXPECT_NE(eml.find("Content-Type: text/plain; charset=\"GB2312\""), std::string::npos);
    EXPECT_EQ(Read(real, 1, "subject"), "朱镕基");
    EXPECT_EQ(Read(real, 1, "text").rfind(JsonStart("你好\r\n"), 0), 0u);
    EXPECT_EQ(
        real.Mail("1.options"),
        "BODY=8BITMIME SIZE=" + [&] { return std::to_string(eml.size()); }());
}

// A self-signed certificate for localhost; returns its folder.
std::string TestCertificate() {
    std::string certs = FreshFolder("certs");
    std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
        " -nodes -keyout " +
        certs + "key.pem -out " + certs +
        "cert.pem"
        " -days 2 -subj /CN=localhost"
        " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return certs;
}

TEST_F(SendJob, Port465SpeaksTlsFromTheStart) {
    std::string certs = TestCertificate();
    std::unique_ptr<RealServer> real;
    try {
        real = std::make_unique<RealServer>(
            "implicit", std::vector<std::string>{"--implicit-tls", certs + "cert.pem",
                                                 certs + "key.pem", "--port", "465"});
    } catch (const std::exception&) {
        GTEST_SKIP() << "port 465 is not available here";
    }
    setenv("MURMEL_CA_FILE", (certs + "cert.pem").c_str(), 1);
    RecordingListener listener;
    TSendMailThread job({"a@example.com", "s", "b", {}}, ProgramFolderFor(465), listener);
    job.Execute();
    unsetenv("MURMEL_CA_FILE");
    EXPECT_TRUE(job.Accepted()) << listener.failure;
    EXPECT_TRUE(real->Received());
}

TEST_F(SendJob, StartTlsWithATrustedTestCertificateOnly) {
    std::string certs = TestCertificate();
    RealServer real("tls", {"--tls", certs + "cert.pem", certs + "key.pem"});
    std::string program = ProgramFolderFor(real.server.Port());

    unsetenv("MURMEL_CA_FILE");
    RecordingListener untrusted;
    TSendMailThread refused({"a@example.com", "s", "b", {}}, program, untrusted);
    refused.Execute();
    EXPECT_FALSE(refused.Accepted());
    EXPECT_NE(untrusted.failure.find("TLS"), std::string::npos) << untrusted.failure;
    EXPECT_FALSE(real.Received());

    setenv("MURMEL_CA_FILE", (certs + "cert.pem").c_str(), 1);
    RecordingListener trusted;
    TSendMailThread job({"a@example.com", "s", "b", {}}, program, trusted);
    job.Execute();
    unsetenv("MURMEL_CA_FILE");
    EXPECT_TRUE(job.Accepted()) << trusted.failure;
    EXPECT_TRUE(real.Received());
}

TEST_F(SendJob, UnreadableAttachmentStopsTheJobBeforeAnyConnection) {
    RealServer real("missing");
    RecordingListener listener;
    TSendMailThread job({"a@example.com", "s", "b", {"/nonexistent/file.mvm"}},
                        ProgramFolderFor(real.server.Port()), listener);
    job.Execute();
    EXPECT_FALSE(job.Accepted());
    EXPECT_TRUE(listener.Captions().empty());  // the dialog keeps its first caption
    EXPECT_FALSE(real.Received());
}

TEST_F(SendJob, CancelBeforeTheConnectionKeepsTheJobFromSending) {
    RealServer real("early-cancel");
    RecordingListener listener;
    TSendMailThread job({"a@example.com", "s", "b", {}}, ProgramFolderFor(real.server.Port()),
                        listener);
    job.Cancel();
    job.Start();
    job.Wait();
    EXPECT_FALSE(job.Accepted());
    EXPECT_EQ(listener.Captions(),
              (std::vector<std::string>{CaptionConnecting(), CaptionFailed()}));
    EXPECT_FALSE(real.Received());
}

TEST_F(SendJob, CancelEndsAJobWaitingOnASilentServerWithin2Seconds) {
    std::string folder = FreshFolder("silent");
    ServerProcess silent(test::MailTestScript("scripted_smtp.py"),
                         {folder + "port", folder + "transcript", "silent"});
    RecordingListener listener;
    TSendMailThread job({"a@example.com", "s", "b", {}}, ProgramFolderFor(silent.Port()), listener);
    job.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = std::chrono::steady_clock::now();
    job.Cancel();
    job.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(listener.Captions().back(), CaptionFailed());
}

TEST(SendJobPort, ServerPortSettingWhenValidElse25) {
    EXPECT_EQ(SmtpPortFromSetting("587"), 587);
    EXPECT_EQ(SmtpPortFromSetting("465"), 465);
    for (const char* bad : {"", "0", "65536", "25x", "-1", " 25", "100000"})
        EXPECT_EQ(SmtpPortFromSetting(bad), 25) << bad;
}

int RunCli(const std::string& folder, const std::string& arguments) {
    std::string command =
        "cd " + folder + " && ./murmel-cli send " + arguments + " >out.txt 2>err.txt";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SendJob, CliSendsWithTheProgramFolderSettings) {
    RealServer real("cli");
    std::string program = ProgramFolderFor(real.server.Port());
    std::filesystem::copy_file(std::string(MURMEL_PROGRAM_DIR) + "murmel-cli",
                               program + "murmel-cli");
    WriteFile(program + "body.txt", "第一行\n第二行\n");
    WriteFile(program + "voice.mvm", RandomBytes(1000, 3));
    int status = RunCli(program,
                        "--to friend@example.com --subject 'hi 你好' --body-file body.txt "
                        "--attach voice.mvm");
    EXPECT_EQ(status, 0) << ReadFile(program + "err.txt");
    EXPECT_EQ(ReadFile(program + "out.txt"), "正在连接...\n正在发送语音邮件\n邮件发送成功\n");
    EXPECT_EQ(real.Mail("1.part1"), ReadFile(program + "voice.mvm"));
    EXPECT_NE(real.Mail("1.eml").find(Utf8ToGbk("第一行\r\n第二行\r\n")), std::string::npos);

    EXPECT_EQ(RunCli(program, "--to a@example.com"), 2);  // no subject
    // No recipient at all: the server refuses DATA.
    EXPECT_EQ(RunCli(program, "--to ' ' --subject s"), 1);
    EXPECT_EQ(ReadFile(program + "out.txt"), "正在连接...\n正在发送语音邮件\n错误,已断开连接\n");

    // A refusal full of terminal commands reaches the terminal escaped.
    std::string folder = FreshFolder("hostile");
    ServerProcess hostile(test::MailTestScript("scripted_smtp.py"),
                          {folder + "port", folder + "transcript", "hostile"});
    SettingsStore(program).WriteText("SMTP", "ServerPort", std::to_string(hostile.Port()));
    EXPECT_EQ(RunCli(program, "--to a@example.com --subject s"), 1);
    std::string err = ReadFile(program + "err.txt");
    EXPECT_NE(err.find("550 \\x1b]0;pwned\\x07\\x1b[2J\\x1b[31mCall 555-0100\\x1b[0m <b>now</b>"),
              std::string::npos)
        << err;
    for (char control : {'\x1b', '\x07', '\x9b', '\r'})
        EXPECT_EQ(err.find(control), std::string::npos);
}

}  // namespace
}  // namespace murmel
