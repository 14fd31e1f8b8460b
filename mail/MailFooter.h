#pragma once
#include <string>
#include <vector>

namespace murmel {

// Our addresses, in this one place: the download page, the web site, the contact mailbox.
constexpr const char* kDownloadPage = "https://murmel.example/soft/14192.html";
constexpr const char* kPlayerDownloadPage = "https://murmel.example/soft/murmelplay.html";
constexpr const char* kWebSite = "https://murmel.example/";
constexpr const char* kContactAddress = "ads@murmel.example";

// The eleven lines appended to every message body (UTF-8): what the mail is, where
// to get the player, a short note about the player, our contact mailbox.
const std::vector<std::string>& MailFooterLines();

}  // namespace murmel
