// The hand-off to the desktop's mail program through a stand-in xdg-email that
// records the arguments it was given.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../recorder/SendTestSupport.h"
#include "MAPIMail.h"
#include "TestFiles.h"

namespace murmel {
namespace {

using Args = std::vector<std::string>;

// Puts `folder` alone on PATH for the test's life.
class PathOnly {
  public:
    explicit PathOnly(const std::string& folder) : old_(std::getenv("PATH")) {
        setenv("PATH", folder.c_str(), 1);
    }
    ~PathOnly() { setenv("PATH", old_.c_str(), 1); }

  private:
    std::string old_;
};

TMAPIMail Mail(Args recipients) {
    TMAPIMail mail;
    mail.Recipients = std::move(recipients);
    mail.Subject = "语音 \"quoted\" $(touch /tmp/x) `id`";
    mail.Body = "第一行\n第二行; rm -rf ~\n";
    mail.Attachments = {"/tmp/b 2.mvm", "/tmp/a'1.mp3"};
    return mail;
}

TEST(MAPIMail, RecipientClassesFromThePrefixInAnyLetterCase) {
    for (auto [text, option, address] :
         {std::tuple{"friend@example.com", "--to", "friend@example.com"},
          {"CC:copy@example.com", "--cc", "copy@example.com"},
          {"cc: copy@example.com", "--cc", "copy@example.com"},
          {"Bcc:hidden@example.com", "--bcc", "hidden@example.com"},
          {"a@example.com; b@example.com", "--to", "a@example.com; b@example.com"},
          {"--attach=/etc/passwd@x", "--to", "--attach=/etc/passwd@x"},
          {"mailto:x@y?attach=/etc/passwd", "--to", "mailto:x@y?attach=/etc/passwd"}}) {
        TMAPIMail mail;
        mail.Recipients = {text};
        EXPECT_EQ(mail.Arguments(), (Args{"xdg-email", "--utf8", option, address})) << text;
    }
}

TEST(MAPIMail, EmptyFieldsAreLeftOutAsXdgEmailRefusesThem) {
    TMAPIMail mail;
    mail.Recipients = {"CC:", ""};
    EXPECT_EQ(mail.Arguments(), (Args{"xdg-email", "--utf8"}));
}

TEST(MAPIMail, EveryFieldReachesTheProgramUnchangedAndInOrder) {
    std::string standIn = test::StandInMailProgram("stand-in", 0);
    PathOnly path(standIn);
    ASSERT_TRUE(TMAPIMail::Present());
    TMAPIMail mail = Mail({"BCC:x@example.com"});
    EXPECT_TRUE(mail.Send());
    EXPECT_EQ(mail.ResultCode(), kMapiSuccess);
    EXPECT_EQ(test::RecordedArguments(standIn),
              (Args{"--utf8", "--bcc", "x@example.com", "--subject", mail.Subject, "--body",
                    mail.Body, "--attach", "/tmp/b 2.mvm", "--attach", "/tmp/a'1.mp3"}));
}

TEST(MAPIMail, NoMailProgramOrAFailingOneIsAFailureThatSaysWhy) {
    std::string failing = test::StandInMailProgram("failing", 3);
    {
        PathOnly path(failing);
        TMAPIMail mail = Mail({"x@example.com"});
        EXPECT_FALSE(mail.Send());
        EXPECT_EQ(mail.ResultCode(), 3);
        EXPECT_EQ(mail.FailureText(), "xdg-email exited with status 3");
    }
    PathOnly path(test::FreshFolder("empty-path"));
    EXPECT_FALSE(TMAPIMail::Present());
    TMAPIMail mail = Mail({"x@example.com"});
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(mail.ResultCode(), kMapiFailure);
    EXPECT_NE(mail.FailureText().find("xdg-email"), std::string::npos);
}

}  // namespace
}  // namespace murmel
