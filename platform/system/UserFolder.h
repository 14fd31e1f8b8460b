#pragma once
#include <string>

namespace murmel {

// Where the user's files live, laid out as the program folder is and ending with "/".
// Every reader and writer of settings, address book, player settings and recordings
// asks this, never ProgramFolder() directly.
// - The program folder itself when it is the user's: writable and not a system-wide
//   install below /usr (a build folder, the per-user install).
// - Otherwise $XDG_DATA_HOME/murmel/ (default ~/.local/share/murmel/), completed at
//   every start from the shipped defaults (see FillUserFolder).
std::string UserFolder();

// True when the program folder may hold the user's files.
bool ProgramFolderIsTheUsers(const std::string& programFolder);

// Completes `userFolder` from `programFolder`, keeping whatever is there already: copies
// of the user's own shipped defaults ("user.dll", "Address/"), links to the shipped
// read-only data ("Setting.ini", "BGMusic", "notify.wav", "icons"), and "MyVoice" a link
// to "MyVoice" in `musicFolder`, where the user finds the recordings. Throws EFileError
// when the folder cannot be made.
void FillUserFolder(const std::string& userFolder, const std::string& programFolder,
                    const std::string& musicFolder);

// The user's music folder: XDG_MUSIC_DIR of user-dirs.dirs, else ~/Music.
std::string MusicFolder();

}  // namespace murmel
