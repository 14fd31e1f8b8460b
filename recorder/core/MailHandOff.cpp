#include "MailHandOff.h"

#include "PrintableText.h"

namespace murmel {

std::string RecipientLooksWrongMessage() { return "收件人地址似乎有误，请修正"; }

bool RecipientLooksValid(const std::string& recipient) {
    return recipient.find('@') != std::string::npos;
}

TMAPIMail MakeHandOffMail(const TSendMailFields& fields) {
    TMAPIMail mail;
    mail.Recipients = {fields.Recipient};
    mail.Subject = fields.Subject;
    mail.Body = fields.Body;
    mail.Attachments = fields.Attachments;
    return mail;
}

std::string HandOffFailureMessage(const TMAPIMail& mail, const std::string& programFolder) {
    if (mail.ResultCode() == kMapiAttachmentNotFound)
        return "附件不存在或无法读取，邮件没有交出：\n" + PrintableText(mail.MissingAttachment());
    std::string why = mail.FailureText().empty() ? std::string(TMAPIMail::kProgram) + " failed"
                                                 : mail.FailureText();
    return "无法打开邮件程序，邮件没有交出。\n(" + why +
           ")\n\n录制好的语音邮件在 \"MyVoice\" 文件夹中，可以用其他方式作为附件发送：\n" +
           programFolder + "MyVoice";
}

}  // namespace murmel
