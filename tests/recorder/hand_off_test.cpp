// What the hand-off button takes from the form and says when it cannot hand over.
#include <gtest/gtest.h>

#include "MailHandOff.h"

namespace murmel {
namespace {

TEST(MailHandOff, OneRecipientTextTheBodyWithoutFooterAndEveryAttachment) {
    TMAPIMail mail =
        MakeHandOffMail({"cc:a@example.com; b@example.com", "主题", "正文", {"/x/1", "/x/2"}});
    EXPECT_EQ(mail.Recipients, std::vector<std::string>{"cc:a@example.com; b@example.com"});
    EXPECT_EQ(mail.Body, "正文");
    EXPECT_EQ(mail.Attachments, (std::vector<std::string>{"/x/1", "/x/2"}));
    EXPECT_TRUE(mail.EditDialog);
    EXPECT_FALSE(RecipientLooksValid("friend.example.com"));
    EXPECT_FALSE(RecipientLooksValid(""));
    EXPECT_TRUE(RecipientLooksValid("CC:a@b"));
}

TEST(MailHandOff, TheFailureMessageSaysWhyAndWhereTheRecordingsAre) {
    TMAPIMail mail;
    mail.Recipients = {"a@b"};
    std::string message = HandOffFailureMessage(mail, "/home/u/Murmel/");
    EXPECT_NE(message.find("\"MyVoice\""), std::string::npos);
    EXPECT_NE(message.find("/home/u/Murmel/MyVoice"), std::string::npos);

    // A vanished attachment is named, not taken for a missing mail program.
    mail.Attachments = {"/nonexistent/语音\x1b[2J.mvm"};
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(HandOffFailureMessage(mail, "/home/u/Murmel/"),
              "附件不存在或无法读取，邮件没有交出：\n/nonexistent/语音\\x1b[2J.mvm");
}

}  // namespace
}  // namespace murmel
