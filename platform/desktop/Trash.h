#pragma once
// The desktop's trash in the freedesktop.org layout (the
// same layout `gio trash` and the file managers use), so a file moved there can
// be put back from the file manager.
#include <string>

namespace murmel {

// Moves the regular file PATH into the trash of its own file system: the user's
// home trash ($XDG_DATA_HOME/Trash) when it lies there, otherwise the top
// directory's ".Trash/UID" or ".Trash-UID". The file is renamed, never copied,
// and an "info/NAME.trashinfo" records where it came from and when. Returns the
// file's path inside the trash. Throws EFileError naming the path and the reason;
// the file then stays where it was.
std::string MoveToTrash(const std::string& path);

}  // namespace murmel
