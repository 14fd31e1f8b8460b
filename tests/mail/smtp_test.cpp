// The SMTP dialogue against a scripted server on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "Base64.h"
#include "IdException.h"
#include "IdSMTP.h"
#include "SendCounter.h"
#include "ServerProcess.h"
#include "TcpConnection.h"

namespace murmel {
namespace {

using test::FreshFolder;
using test::ReadFile;
using test::ServerProcess;

struct Scripted {
    explicit Scripted(const std::string& scenario)
        : folder(FreshFolder("scripted-" + scenario)),
          server(test::MailTestScript("scripted_smtp.py"),
                 {folder + "port", folder + "transcript", scenario}) {}
    std::string Transcript() const { return ReadFile(folder + "transcript"); }
    std::string folder;
    ServerProcess server;
};

TIdMessage SmallMessage() {
    TIdMessage message;
    message.From = {"me@murmel.example", "Me"};
    message.Recipients = {{"a@example.com", ""}};
    message.Subject = "test";
    message.Body = {"hello"};
    return message;
}

void Prepare(TIdSMTP& smtp, const Scripted& scripted) {
    smtp.Host = "127.0.0.1";
    smtp.Port = scripted.server.Port();
    smtp.HeloName = "client.example";
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SmtpDialogue, Ehlo500FallsBackToHeloAndSkipsAuth) {
    Scripted scripted("ehlo500");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    smtp.SetAuthenticationType(atLogin);
    smtp.Connect();
    TIdMessage message = SmallMessage();
    smtp.Send(message);
    smtp.Disconnect();
    std::string transcript = scripted.Transcript();
    EXPECT_TRUE(Has(transcript, "EHLO client.example\r\nHELO client.example\r\nRSET\r\n"));
    EXPECT_FALSE(Has(transcript, "AUTH"));
    EXPECT_TRUE(
        Has(transcript, "MAIL FROM:<me@murmel.example>\r\nRCPT TO:<a@example.com>\r\nDATA\r\n"));
}

TEST(SmtpDialogue, AuthLoginWhenOfferedInEitherForm) {
    std::string user = "\xD3\xC3\xBB\xA7";  // GBK bytes, sent as stored
    std::string password(300, 'p');
    for (const char* scenario : {"auth-old", "auth-new"}) {
        Scripted scripted(scenario);
        TIdSMTP smtp;
        Prepare(smtp, scripted);
        smtp.SetAuthenticationType(atLogin);
        smtp.Username = user;
        smtp.Password = password;
        smtp.AllowPlainAuth = true;  // this account allows its password unencrypted
        smtp.Connect();
        EXPECT_NE(std::find(smtp.AuthSchemes().begin(), smtp.AuthSchemes().end(), "LOGIN"),
                  smtp.AuthSchemes().end());
        TIdMessage message = SmallMessage();
        smtp.Send(message);
        smtp.Disconnect();
        EXPECT_TRUE(Has(scripted.Transcript(), "RSET\r\nAUTH LOGIN\r\n" + EncodeBase64(user) +
                                                   "\r\n" + EncodeBase64(password) +
                                                   "\r\nMAIL FROM:"))
            << scenario;
    }
}

TEST(SmtpDialogue, NoPasswordToAServerWithoutEncryption) {
    // AUTH offered, STARTTLS not (or stripped from the reply on the way).
    Scripted scripted("auth-new");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    smtp.SetAuthenticationType(atLogin);
    smtp.Username = "user";
    smtp.Password = "secret-password";
    smtp.Connect();
    TIdMessage message = SmallMessage();
    try {
        smtp.Send(message);
        ADD_FAILURE() << "the send went on without encryption";
    } catch (const EIdPlainAuthRefused& error) {
        EXPECT_EQ(std::string(error.what())
                      .rfind("the server offers no encryption; the password was not sent", 0),
                  0u);
        EXPECT_TRUE(Has(error.what(), "\"AllowPlainAuth\"=\"YES\""));
    }
    smtp.Disconnect();
    std::string transcript = scripted.Transcript();
    EXPECT_FALSE(Has(transcript, "AUTH"));
    EXPECT_FALSE(Has(transcript, EncodeBase64("secret-password")));
    EXPECT_FALSE(Has(transcript, "MAIL FROM"));
}

TEST(SmtpDialogue, NoAuthUnlessChosenAndLoginOffered) {
    {
        Scripted scripted("auth-other");
        TIdSMTP smtp;
        Prepare(smtp, scripted);
        smtp.SetAuthenticationType(atLogin);
        smtp.Connect();
        TIdMessage message = SmallMessage();
        smtp.Send(message);
        smtp.Disconnect();
        EXPECT_FALSE(Has(scripted.Transcript(), "AUTH"));
    }
    {
        Scripted scripted("auth-new");
        TIdSMTP smtp;
        Prepare(smtp, scripted);
        smtp.Connect();
        TIdMessage message = SmallMessage();
        smtp.Send(message);
        smtp.Disconnect();
        EXPECT_FALSE(Has(scripted.Transcript(), "AUTH"));
    }
}

TEST(SmtpDialogue, MultiLineGreetingLfOnlyRepliesAndRsetErrorsAreAccepted) {
    for (const char* scenario : {"multiline-greeting", "lf-only", "rset-error", "longest-line"}) {
        Scripted scripted(scenario);
        TIdSMTP smtp;
        Prepare(smtp, scripted);
        smtp.Host = "LocalHost";  // no lookup: 127.0.0.1
        EXPECT_NO_THROW({
            smtp.Connect();
            TIdMessage message = SmallMessage();
            smtp.Send(message);
        }) << scenario;
        EXPECT_EQ(smtp.LastReply().code, 250) << scenario;
        smtp.Disconnect();
        EXPECT_FALSE(smtp.Connected());
    }
}

TEST(SmtpDialogue, RefusedRecipientEndsTheSendBeforeData) {
    Scripted scripted("rcpt550");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    smtp.Connect();
    TIdMessage message = SmallMessage();
    message.Recipients.push_back({"b@example.com", ""});
    try {
        smtp.Send(message);
        ADD_FAILURE() << "the refusal was not reported";
    } catch (const EIdProtocolReplyError& error) {
        EXPECT_EQ(error.ReplyCode(), 550);
        EXPECT_STREQ(error.what(), "No such user here");
    }
    smtp.Disconnect();
    std::string transcript = scripted.Transcript();
    EXPECT_FALSE(Has(transcript, "DATA"));
    EXPECT_FALSE(Has(transcript, "b@example.com"));
}

TEST(SmtpDialogue, OverlongReplyLineFailsTheConnect) {
    Scripted scripted("long-line");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    try {
        smtp.Connect();
        ADD_FAILURE() << "a 16385-byte line was accepted";
    } catch (const EIdMaxLineLengthExceeded& error) {
        EXPECT_STREQ(error.what(), "Max line length exceeded.");
    }
    EXPECT_FALSE(smtp.Connected());
}

TEST(SmtpDialogue, EndlessEhloReplyFailsTheConnectWithItsBound) {
    Scripted scripted("endless-ehlo");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    try {
        smtp.Connect();
        ADD_FAILURE() << "an endless reply was read";
    } catch (const EIdReplyTooLong& error) {
        EXPECT_STREQ(error.what(), "The server's reply runs past 256 lines");
    }
    EXPECT_FALSE(smtp.Connected());
}

TEST(SmtpDialogue, RefusedStartTlsIsAFailureNotADowngrade) {
    Scripted scripted("starttls-refused");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    EXPECT_THROW(smtp.Connect(), EIdProtocolReplyError);
    EXPECT_FALSE(smtp.Connected());
}

TEST(SmtpDialogue, FailedTlsHandshakeSendsNoPlainTextAfterwards) {
    Scripted scripted("starttls-garbage");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    EXPECT_THROW(smtp.Connect(), EIdSocketError);
    EXPECT_FALSE(smtp.Connected());
    smtp.Disconnect();
    std::string transcript = scripted.Transcript();
    size_t hello = transcript.find("STARTTLS\r\n");
    ASSERT_NE(hello, std::string::npos);
    EXPECT_EQ(transcript[hello + 10], '\x16');  // a TLS handshake record follows
    EXPECT_FALSE(Has(transcript.substr(hello), "QUIT"));
}

// The text part as it went out, and what MAIL FROM declared.
struct Sent {
    std::string mailFrom, data;
};

Sent SendEightBitBody(const char* scenario) {
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    Scripted scripted(scenario);
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    smtp.Connect();
    TIdMessage message = SmallMessage();
    message.Body = {"\xC4\xE3\xBA\xC3 voice mail"};  // GBK "你好"
    smtp.Send(message);
    smtp.Disconnect();
    std::string transcript = scripted.Transcript();
    size_t from = transcript.find("MAIL FROM:");
    size_t data = transcript.find("DATA\r\n") + 6;
    size_t end = transcript.find("\r\n.\r\n", data);
    return {transcript.substr(from, transcript.find("\r\n", from) - from),
            transcript.substr(data, end + 2 - data)};
}

TEST(SmtpDialogue, EightBitBodyDeclaredWhereOfferedElseEncoded) {
    Sent offered = SendEightBitBody("eightbit");
    EXPECT_EQ(offered.mailFrom, "MAIL FROM:<me@murmel.example> BODY=8BITMIME SIZE=" +
                                    std::to_string(offered.data.size()));
    EXPECT_TRUE(Has(offered.data, "Content-Transfer-Encoding: 8bit\r\n"));
    EXPECT_TRUE(Has(offered.data, "\xC4\xE3\xBA\xC3 voice mail\r\n"));

    Sent plain = SendEightBitBody("plain");  // SIZE, no 8BITMIME
    EXPECT_EQ(plain.mailFrom,
              "MAIL FROM:<me@murmel.example> SIZE=" + std::to_string(plain.data.size()));
    EXPECT_TRUE(Has(plain.data, "Content-Transfer-Encoding: base64\r\n"));
    EXPECT_TRUE(Has(plain.data, EncodeBase64("\xC4\xE3\xBA\xC3 voice mail\r\n")));
    for (unsigned char c : plain.data) EXPECT_LT(c, 0x80);
    EXPECT_TRUE(Has(plain.data, "\r\nMessage-ID: <"));
}

TEST(SmtpDialogue, GreetsWithAFullNameOrTheAddressLiteral) {
    Scripted scripted("plain");
    TIdSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = scripted.server.Port();
    smtp.Connect();
    smtp.Disconnect();
    std::string name = LocalDomainName();
    std::string expected = "EHLO " + (name.empty() ? "[127.0.0.1]" : name) + "\r\n";
    EXPECT_EQ(scripted.Transcript().rfind(expected, 0), 0u) << scripted.Transcript();
}

TEST(SmtpDialogue, LineBreaksInHeaderFieldsAreRefusedBeforeAnyCommand) {
    Scripted scripted("plain");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    smtp.Connect();
    TIdMessage message = SmallMessage();
    message.Recipients = {{"a@example.com>\r\nRCPT TO:<evil@example.com", ""}};
    EXPECT_THROW(smtp.Send(message), EIdException);
    smtp.Disconnect();
    std::string transcript = scripted.Transcript();
    EXPECT_FALSE(Has(transcript, "RSET"));
    EXPECT_FALSE(Has(transcript, "evil"));
}

TEST(SmtpDialogue, CancelEndsABlockedConnectAtOnce) {
    Scripted scripted("silent");
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    bool notConnected = false;
    std::thread worker([&] {
        try {
            smtp.Connect();
        } catch (const EIdNotConnected&) {
            notConnected = true;
        } catch (const std::exception&) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = std::chrono::steady_clock::now();
    smtp.DisconnectSocket();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(notConnected);
    EXPECT_FALSE(smtp.Connected());
    EXPECT_THROW(smtp.Connect(), EIdNotConnected);  // stays cancelled
}

TEST(SmtpDialogue, RefusedConnectionIsASocketError) {
    int port;
    {
        Scripted scripted("silent");  // a port that was free a moment ago
        port = scripted.server.Port();
    }
    TIdSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = port;
    try {
        smtp.Connect();
        ADD_FAILURE();
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Socket Error # 111\n", 0), 0u) << error.what();
    }
}

TEST(SmtpDialogue, BodyWorkIsReportedAndEndsBeforeTheFinalDot) {
    Scripted scripted("final-reject");
    std::string folder = FreshFolder("work");
    test::WriteFile(folder + "big", std::string(200000, 'z'));
    TIdSMTP smtp;
    Prepare(smtp, scripted);
    std::vector<int64_t> positions;
    int begins = 0, ends = 0;
    smtp.OnWorkBegin = [&](TWorkMode mode, int64_t max) {
        EXPECT_EQ(mode, wmWrite);
        EXPECT_EQ(max, 0);
        ++begins;
    };
    smtp.OnWork = [&](TWorkMode, int64_t count) { positions.push_back(count); };
    smtp.OnWorkEnd = [&](TWorkMode) { ++ends; };
    smtp.Connect();
    TIdMessage message = SmallMessage();
    message.Parts.push_back({folder + "big", "big"});
    EXPECT_THROW(smtp.Send(message), EIdProtocolReplyError);
    EXPECT_EQ(smtp.LastReply().code, 554);
    smtp.Disconnect();
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    ASSERT_GE(positions.size(), 2u);  // gathered into sends of at most 64 KiB
    for (size_t i = 1; i < positions.size(); ++i) EXPECT_GT(positions[i], positions[i - 1]);
    EXPECT_GT(positions.back(), 200000 * 4 / 3);
    EXPECT_LT(positions.back(), 200000 * 4 / 3 + 10000);
}

TEST(SendCounter, OneGetRequestToTheConfiguredAddress) {
    Scripted scripted("silent");
    std::string url =
        "http://127.0.0.1:" + std::to_string(scripted.server.Port()) + "/EmailAmount.php";
    EXPECT_TRUE(RequestSendCounterNow(url));
    std::string request;
    for (int i = 0; i < 100 && !Has(request, "\r\n\r\n"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        request = scripted.Transcript();
    }
    EXPECT_EQ(request.rfind("GET /EmailAmount.php HTTP/1.0\r\nHost: 127.0.0.1:", 0), 0u) << request;
    for (const char* bad : {"", "ftp://x/y", "http://", "http://host:0/", "http://h/a b"})
        EXPECT_FALSE(RequestSendCounterNow(bad)) << bad;
}

}  // namespace
}  // namespace murmel
