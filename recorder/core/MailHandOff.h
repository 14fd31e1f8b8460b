#pragma once
// The hand-off button's logic apart from the window: the recipient check, the
// message for the desktop's mail program, and what to tell the user when no mail
// program could take it.
#include <string>

#include "MAPIMail.h"
#include "SendMailThread.h"

namespace murmel {

// Shown when the recipient text has no "@"; nothing is handed over then.
std::string RecipientLooksWrongMessage();  // "收件人地址似乎有误，请修正"

// Whether the recipient text passes the check before a hand-off.
bool RecipientLooksValid(const std::string& recipient);

// The hand-off of the fields: one recipient text (a "CC:" or "BCC:" prefix is
// the mail program's business), the body without the footer, every attachment.
TMAPIMail MakeHandOffMail(const TSendMailFields& fields);

// After a failed hand-off: which attachment could not be read; or that no mail
// program could be reached, why, and where the recordings are, so the user can
// attach them by other means.
std::string HandOffFailureMessage(const TMAPIMail& mail, const std::string& programFolder);

}  // namespace murmel
