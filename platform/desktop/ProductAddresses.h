#pragma once
// Our addresses on the web, in one place for both programs.

namespace murmel {

// Where the recorder can be downloaded (the player's link, the upgrade check).
inline constexpr const char* kDownloadPage = "https://murmel.example.org/download";

}  // namespace murmel
