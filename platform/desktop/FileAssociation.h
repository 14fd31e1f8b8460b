#pragma once
// The ".mvm" association on a freedesktop desktop: the MIME type "application/x-mvm"
// (glob "*.mvm", comment "音乐语音邮件"), a desktop entry for the player, its icon, and
// the entry made the default handler of that type alone. Both programs call it at every
// start.
#include <string>
#include <vector>

namespace murmel {

inline constexpr const char* kVoiceMailMimeType = "application/x-mvm";
// The plain recordings the player opens too. Its entry lists them, but it never makes
// itself their default: the user's music player keeps them. As the user's own entry
// would outrank the system's music player, the registration writes that player as the
// user's default for each of these types the user's list names none for.
inline constexpr const char* kPlainRecordingMimeTypes =
    "audio/mpeg;audio/x-wav;audio/wav;audio/vnd.wave";
inline constexpr const char* kPlayerDesktopEntry = "murmelplay.desktop";
inline constexpr const char* kRecorderDesktopEntry = "murmel.desktop";

// Where the desktop looks for the user's own MIME types, entries and icons
// ($XDG_DATA_HOME, default ~/.local/share) and default applications
// ($XDG_CONFIG_HOME, default ~/.config). Both end with "/".
struct DesktopFolders {
    std::string data;
    std::string config;
    // The system's folders after them ($XDG_DATA_DIRS, $XDG_CONFIG_DIRS, each ending
    // with "/") and the session's desktop names ($XDG_CURRENT_DESKTOP), which decide
    // which other application handles a type; none unless taken from the environment.
    std::vector<std::string> systemData{};
    std::vector<std::string> systemConfig{};
    std::vector<std::string> desktops{};
    static DesktopFolders FromEnvironment();
};

// Registers the association for the player "Murmelplay" in PROGRAM_FOLDER (which ends
// with "/"). Failures are told on stderr and otherwise ignored: the program runs on
// without the association.
// Runs the MIME database tools when anything changed, so callers on a window
// thread run it on a worker.
void RegisterFileType(const std::string& programFolder) noexcept;

// The same into FOLDERS; true when a file changed. Throws EFileError. A mimeapps.list
// that cannot be read whole is left as it is and named in the error, thrown once
// everything else is in place.
bool WriteFileAssociation(const std::string& programFolder, const DesktopFolders& folders);

// Adds the recorder's entry to the application menu (the player's is the
// association's own) with both icons. Throws EFileError.
void InstallLaunchers(const std::string& programFolder, const DesktopFolders& folders);

// Takes away what the two calls above added for PROGRAM_FOLDER: entries that start
// another folder's programs, and another default handler, are left alone. Throws
// EFileError naming a mimeapps.list it cannot read (left as it is) or write; the
// player's entry and type then stay too, for a later run to take away.
void RemoveDesktopIntegration(const std::string& programFolder, const DesktopFolders& folders);

}  // namespace murmel
