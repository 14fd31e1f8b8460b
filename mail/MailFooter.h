#pragma once
#include <string>
#include <vector>

namespace murmel {

// The eleven lines appended to every message body (UTF-8): what the mail is, where
// to get the player, a short note about the player, our contact mailbox.
const std::vector<std::string>& MailFooterLines();

}  // namespace murmel
