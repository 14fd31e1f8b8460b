#pragma once
// Which file a write to one of the user's own files (settings, address book, a
// schedule) replaces when a link stands at its name.
#include <string>

namespace murmel {

// PATH itself when it is no link (or absent). A link the user made to a file of
// their own is written through: the link's final target is returned, so that the
// target is replaced and the link stays. Every link on the way must be the user's,
// in a folder no other user may write and outside the temporary folder, and the
// target a regular file of the user (or absent, in such a folder). Any other link
// is never followed and never replaced: EFileError naming PATH, the file is left
// as it is.
std::string WriteThroughTarget(const std::string& path);

}  // namespace murmel
