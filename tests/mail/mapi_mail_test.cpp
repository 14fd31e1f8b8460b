// The hand-off to the desktop's mail program through the real xdg-email, with a
// stand-in mail program registered on a desktop of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../recorder/SendTestSupport.h"
#include "MAPIMail.h"
#include "TestFiles.h"

namespace murmel {
namespace {

using Args = std::vector<std::string>;

TEST(MAPIMail, RecipientClassesFromThePrefixInAnyLetterCase) {
    for (auto [text, address] :
         {std::pair{"friend@example.com", "mailto:?to=friend@example.com"},
          {"CC:copy@example.com", "mailto:?cc=copy@example.com"},
          {"cc: copy@example.com", "mailto:?cc=copy@example.com"},
          {"Bcc:hidden@example.com", "mailto:?bcc=hidden@example.com"},
          {"a@example.com; b@example.com", "mailto:?to=a@example.com%3B%20b@example.com"},
          {"--attach=/etc/passwd@x", "mailto:?to=--attach%3D/etc/passwd@x"},
          {"x@y?attach=/etc/passwd&b=\\c", "mailto:?to=x@y%3Fattach%3D/etc/passwd%26b%3D%5Cc"}}) {
        TMAPIMail mail;
        mail.Recipients = {text};
        EXPECT_EQ(mail.Arguments(), (Args{"xdg-email", address})) << text;
    }
}

TEST(MAPIMail, EmptyFieldsAreLeftOutAsXdgEmailRefusesThem) {
    TMAPIMail mail;
    mail.Recipients = {"CC:", ""};
    EXPECT_EQ(mail.Arguments(), (Args{"xdg-email", "mailto:"}));
}

// Text that xdg-email's own options would lose: "\c" ends echo's output, "\n"
// and "\t" become a line break and a tab.
TMAPIMail MailWithEveryKindOfText(const std::string& files) {
    TMAPIMail mail;
    mail.Recipients = {"a@example.com", "CC:c@example.com", "bcc:b@example.com"};
    mail.Subject = "C:\\config\\new.txt 语音 \"q\" $(id) `id` & ? = %41 + ,'x";
    mail.Body = "D:\\temp\\new\n第二行 \\c \\0101\r\n\n";
    mail.Attachments = {files + "b 2.mvm", files + "语音 1.mp3"};
    for (const std::string& path : mail.Attachments) test::WriteFile(path, "voice");
    return mail;
}

TEST(MAPIMail, EveryFieldReachesTheMailProgramExactlyThroughTheRealXdgEmail) {
    // The generic desktop runs the mailto: handler; Thunderbird is known by name.
    for (const char* program : {"mail-client", "thunderbird"}) {
        SCOPED_TRACE(program);
        std::string files = test::FreshFolder(std::string("files-") + program);
        TMAPIMail mail = MailWithEveryKindOfText(files);
        test::MailDesktop desktop(program);
        ASSERT_TRUE(TMAPIMail::Present());
        EXPECT_TRUE(mail.Send()) << mail.FailureText();
        std::string body = "D:\\temp\\new\r\n第二行 \\c \\0101\r\n\r\n";
        test::MailFields expected{{"to", "a@example.com"},
                                  {"cc", "c@example.com"},
                                  {"bcc", "b@example.com"},
                                  {"subject", mail.Subject},
                                  {"body", body}};
        for (const std::string& path : mail.Attachments) expected.emplace_back("attach", path);
        EXPECT_EQ(test::HandedOverFields(desktop.Arguments()), expected);
    }
}

TEST(MAPIMail, AVanishedAttachmentIsNamedAndNothingIsHandedOver) {
    std::string files = test::FreshFolder("vanished");
    TMAPIMail mail = MailWithEveryKindOfText(files);
    std::filesystem::remove(mail.Attachments[1]);
    test::MailDesktop desktop;
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(mail.ResultCode(), kMapiAttachmentNotFound);
    EXPECT_EQ(mail.MissingAttachment(), files + "语音 1.mp3");
    EXPECT_FALSE(desktop.HandedOver());
}

TEST(MAPIMail, NoMailProgramOrNoXdgEmailIsAFailureThatSaysWhy) {
    {
        test::MailDesktop nothingForMailto("");
        TMAPIMail mail = MailWithEveryKindOfText(test::FreshFolder("no-handler"));
        EXPECT_FALSE(mail.Send());
        EXPECT_EQ(mail.ResultCode(), 3);  // xdg-email: no method available
        EXPECT_EQ(mail.FailureText(), "xdg-email exited with status 3");
    }
    const std::string path = std::getenv("PATH");
    setenv("PATH", test::FreshFolder("empty-path").c_str(), 1);
    EXPECT_FALSE(TMAPIMail::Present());
    TMAPIMail mail;
    mail.Recipients = {"x@example.com"};
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(mail.ResultCode(), kMapiFailure);
    EXPECT_NE(mail.FailureText().find("xdg-email"), std::string::npos);
    setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace murmel
