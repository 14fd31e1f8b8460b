#pragma once
// Which application the desktop starts for a MIME type when no list names a default:
// the most preferred installed entry that lists the type, the user's own entries
// ranking above the system's. A per-user entry of ours would win that way over the
// user's music player, so the registration writes the player found here as the
// user's default instead.
#include <string>

#include "FileAssociation.h"

namespace murmel {

// The entry other than EXCLUDED the desktop would start for TYPE by rank alone. Empty
// when a default-application list anywhere names an installed entry for the type (the
// desktop follows that, not rank), or when no other entry handles the type.
std::string RankedHandler(const DesktopFolders& folders, const std::string& mimeType,
                          const std::string& excluded);

}  // namespace murmel
