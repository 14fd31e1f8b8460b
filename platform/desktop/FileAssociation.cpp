#include "FileAssociation.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "ChildProcess.h"
#include "DesktopEntry.h"
#include "LinkedFiles.h"
#include "MimeAppsList.h"
#include "RankedHandler.h"
#include "SafeFile.h"
#include "UserFolder.h"

namespace murmel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMimePackage = "mime/packages/murmel-mvm.xml";
constexpr const char* kPlayerIcon = "murmelplay";
constexpr const char* kRecorderIcon = "murmel";
constexpr const char* kMimeIcon = "application-x-mvm";

std::string MimePackageText() {
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"") +
           kVoiceMailMimeType +
           "\">\n"
           "    <comment>音乐语音邮件</comment>\n"
           "    <icon name=\"" +
           kMimeIcon +
           "\"/>\n"
           "    <glob pattern=\"*.mvm\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

std::string PlayerEntryText(const std::string& programFolder) {
    return DesktopEntry({"Murmelplay", "语音邮件播放器", programFolder + "Murmelplay", kPlayerIcon,
                         std::string(kVoiceMailMimeType) + ";" + kPlainRecordingMimeTypes});
}

std::string RecorderEntryText(const std::string& programFolder) {
    return DesktopEntry(
        {"Murmel", "录制并发送语音邮件", programFolder + "Murmel", kRecorderIcon, ""});
}

// The file's content, or empty when it cannot be read (absent included): for our own
// files, which are rewritten whole.
std::string Content(const std::string& path) {
    try {
        const std::vector<uint8_t> bytes = ReadRegularFile(path);
        return std::string(bytes.begin(), bytes.end());
    } catch (const EFileError&) {
        return "";
    }
}

// The user's mimeapps.list, empty when there is none. A list we cannot read whole is
// never taken for empty, or the next write would drop every other association: the
// error names it, and it is left as it is.
std::string UserList(const std::string& path) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return "";
    try {
        const std::vector<uint8_t> bytes = ReadRegularFile(path);
        return std::string(bytes.begin(), bytes.end());
    } catch (const EFileError& failure) {
        throw EFileError(path, failure.Reason() + "; left as it is");
    }
}

void MakeFolderFor(const std::string& path) {
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    if (error) throw EFileError(path, error.message());
}

// Writes only what differs, so an unchanged association costs no tool runs.
bool WriteIfChanged(const std::string& path, const std::string& text) {
    if (fs::is_regular_file(path) && Content(path) == text) return false;
    MakeFolderFor(path);
    ReplaceFileAtomically(path, text.data(), text.size(), FileSharing::Shared);
    return true;
}

// The program folder's icons (shipped in "icons/") into the hicolor theme.
bool InstallIcon(const std::string& programFolder, const DesktopFolders& folders,
                 const std::string& source, const std::string& context, const std::string& name) {
    bool changed = false;
    for (const auto& [extension, size] :
         {std::pair{".svg", "scalable"}, std::pair{".png", "48x48"}}) {
        const std::string text = Content(programFolder + "icons/" + source + extension);
        if (text.empty()) continue;
        changed |= WriteIfChanged(
            folders.data + "icons/hicolor/" + size + "/" + context + "/" + name + extension, text);
    }
    return changed;
}

void RemoveIcon(const DesktopFolders& folders, const std::string& context,
                const std::string& name) {
    for (const auto& [extension, size] :
         {std::pair{".svg", "scalable"}, std::pair{".png", "48x48"}})
        fs::remove(folders.data + "icons/hicolor/" + size + "/" + context + "/" + name + extension);
}

// Removes an entry only when it is the one this program folder wrote.
void RemoveEntryIfOurs(const std::string& path, const std::string& ours) {
    if (!ours.empty() && Content(path) == ours) fs::remove(path);
}

void RunIfPresent(const std::vector<std::string>& argv) {
    if (!FindProgram(argv[0]).empty()) RunProgram(argv);
}

void UpdateDatabases(const DesktopFolders& folders) {
    RunIfPresent({"update-mime-database", folders.data + "mime"});
    RunIfPresent({"update-desktop-database", folders.data + "applications"});
}

// Removes FOLDER when it holds nothing but files the desktop's tools generate from
// what we took away (and empty folders, such as the MIME database leaves for a type
// that is gone), then its parents up to STOP while they are empty. A folder with
// anything else in it, or reached through a link, stays.
void RemoveIfOnlyGenerated(const fs::path& folder, const std::vector<std::string>& generated,
                           const fs::path& stop) {
    std::error_code error;
    if (fs::is_symlink(folder, error) || !fs::is_directory(folder, error)) return;
    std::vector<fs::path> emptyFolders;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink(error)) return;
        if (entry.is_directory(error) && fs::is_empty(entry.path(), error)) {
            emptyFolders.push_back(entry.path());
            continue;
        }
        if (std::find(generated.begin(), generated.end(), name) == generated.end() ||
            !entry.is_regular_file(error))
            return;
    }
    if (error) return;
    for (const fs::path& empty : emptyFolders) fs::remove(empty, error);
    for (const std::string& name : generated) fs::remove(folder / name, error);
    // A link the user made (to their dotfiles) is theirs, whatever it leads to.
    for (fs::path path = folder; path != stop && path.has_parent_path(); path = path.parent_path())
        if (fs::is_symlink(path, error) || !fs::remove(path, error)) break;  // or not empty
}

// The folders an installation made for its files, once they are gone: the icon
// folders, the MIME package folder with the database generated from it, and the
// applications folder with its cache.
void RemoveEmptyFolders(const DesktopFolders& folders) {
    const fs::path data = folders.data;
    for (const char* size : {"scalable", "48x48"})
        for (const char* context : {"apps", "mimetypes"})
            RemoveIfOnlyGenerated(data / "icons/hicolor" / size / context, {}, data);
    RemoveIfOnlyGenerated(data / "mime/packages", {}, data / "mime");
    std::error_code error;
    if (!fs::exists(data / "mime/packages", error))
        RemoveIfOnlyGenerated(
            data / "mime",
            {"aliases", "generic-icons", "globs", "globs2", "icons", "magic", "mime.cache",
             "subclasses", "treemagic", "types", "version", "XMLnamespaces"},
            data);
    RemoveIfOnlyGenerated(data / "applications", {"mimeinfo.cache"}, data);
}

std::string FolderFromEnvironment(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::string folder;
    if (value && value[0] == '/') {
        folder = value;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home ? home : "") + fallback;
    }
    return folder.back() == '/' ? folder : folder + "/";
}

// The parts of a list like $XDG_DATA_DIRS; FOLDERS says whether they are folders,
// which are kept only when absolute and then end with "/".
std::vector<std::string> Split(const std::string& text, char separator, bool folders) {
    std::vector<std::string> parts;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find(separator, start), text.size());
        std::string part = text.substr(start, end - start);
        start = end + 1;
        if (part.empty() || (folders && part[0] != '/')) continue;
        if (folders && part.back() != '/') part += '/';
        parts.push_back(part);
    }
    return parts;
}

std::string Variable(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && value[0] ? value : fallback;
}

// The user's list with a default for each plain recording type that has none there:
// the application the desktop picks now by rank. Our own entry, being the user's,
// would otherwise outrank the music player the system installed.
std::string WithMusicPlayerKept(std::string list, const DesktopFolders& folders) {
    for (const std::string& type : Split(kPlainRecordingMimeTypes, ';', false)) {
        if (!ApplicationsFor(list, "Default Applications", type).empty()) continue;
        const std::string handler = RankedHandler(folders, type, kPlayerDesktopEntry);
        if (!handler.empty()) list = WithDefaultApplication(list, type, handler);
    }
    return list;
}

}  // namespace

DesktopFolders DesktopFolders::FromEnvironment() {
    return {FolderFromEnvironment("XDG_DATA_HOME", "/.local/share"),
            FolderFromEnvironment("XDG_CONFIG_HOME", "/.config"),
            Split(Variable("XDG_DATA_DIRS", "/usr/local/share/:/usr/share/"), ':', true),
            Split(Variable("XDG_CONFIG_DIRS", "/etc/xdg"), ':', true),
            Split(Variable("XDG_CURRENT_DESKTOP", ""), ':', false)};
}

bool WriteFileAssociation(const std::string& programFolder, const DesktopFolders& folders) {
    const std::string entry = PlayerEntryText(programFolder);
    if (entry.empty()) throw EFileError(programFolder, "no desktop entry can start a program here");
    bool changed = WriteIfChanged(folders.data + kMimePackage, MimePackageText());
    changed |= WriteIfChanged(folders.data + "applications/" + kPlayerDesktopEntry, entry);
    changed |= InstallIcon(programFolder, folders, kPlayerIcon, "apps", kPlayerIcon);
    changed |= InstallIcon(programFolder, folders, kPlayerIcon, "mimetypes", kMimeIcon);
    // A list the user keeps elsewhere (dotfiles) through a link of their own is
    // written through, the link kept.
    const std::string list = WriteThroughTarget(folders.config + "mimeapps.list");
    std::exception_ptr listFailure;  // reported once the rest is in place
    try {
        changed |= WriteIfChanged(
            list, WithDefaultApplication(WithMusicPlayerKept(UserList(list), folders),
                                         kVoiceMailMimeType, kPlayerDesktopEntry));
    } catch (const EFileError&) {
        listFailure = std::current_exception();
    }
    // A database removed by hand must come back even when our files are all in place.
    if (changed || !fs::exists(folders.data + "mime/mime.cache")) UpdateDatabases(folders);
    if (listFailure) std::rethrow_exception(listFailure);
    return changed;
}

void RegisterFileType(const std::string& programFolder) noexcept {
    // A system-wide install is registered by its package for every user: no per-user copy.
    if (!ProgramFolderIsTheUsers(programFolder)) return;
    try {
        WriteFileAssociation(programFolder, DesktopFolders::FromEnvironment());
    } catch (const std::exception& error) {
        // Without the association the program works all the same; say why it is missing.
        std::fprintf(stderr, "The .mvm type is not registered: %s\n", error.what());
    } catch (...) {
    }
}

void InstallLaunchers(const std::string& programFolder, const DesktopFolders& folders) {
    const std::string entry = RecorderEntryText(programFolder);
    if (entry.empty()) throw EFileError(programFolder, "no desktop entry can start a program here");
    WriteIfChanged(folders.data + "applications/" + kRecorderDesktopEntry, entry);
    InstallIcon(programFolder, folders, kRecorderIcon, "apps", kRecorderIcon);
    try {
        WriteFileAssociation(programFolder, folders);
    } catch (const EFileError&) {
        UpdateDatabases(folders);  // the launcher is in place all the same
        throw;
    }
    UpdateDatabases(folders);
}

void RemoveDesktopIntegration(const std::string& programFolder, const DesktopFolders& folders) {
    const std::string applications = folders.data + "applications/";
    const bool playerIsOurs =
        Content(applications + kPlayerDesktopEntry) == PlayerEntryText(programFolder);
    RemoveEntryIfOurs(applications + kRecorderDesktopEntry, RecorderEntryText(programFolder));
    if (Content(applications + kRecorderDesktopEntry).empty())
        RemoveIcon(folders, "apps", kRecorderIcon);
    std::exception_ptr listFailure;
    if (playerIsOurs) {
        try {
            // The default goes first: while the list cannot be edited, the player's entry
            // stays, so that a later run still knows the default in it is ours.
            const std::string list = WriteThroughTarget(folders.config + "mimeapps.list");
            const std::string old = UserList(list);
            const std::string rest =
                WithoutDefaultApplication(old, kVoiceMailMimeType, kPlayerDesktopEntry);
            if (rest != old)
                ReplaceFileAtomically(list, rest.data(), rest.size(), FileSharing::Shared);
            fs::remove(applications + kPlayerDesktopEntry);
            fs::remove(folders.data + kMimePackage);
            RemoveIcon(folders, "apps", kPlayerIcon);
            RemoveIcon(folders, "mimetypes", kMimeIcon);
        } catch (const EFileError&) {
            listFailure = std::current_exception();
        }
    }
    UpdateDatabases(folders);
    RemoveEmptyFolders(folders);
    if (listFailure) std::rethrow_exception(listFailure);
}

}  // namespace murmel
