#include "RankedHandler.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "MimeAppsList.h"
#include "SafeFile.h"

namespace murmel {
namespace {

namespace fs = std::filesystem;

// The file's text; empty when it is absent or cannot be read, which the desktop
// treats alike.
std::string Text(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return "";
    try {
        const std::vector<uint8_t> bytes = ReadRegularFile(path);
        return std::string(bytes.begin(), bytes.end());
    } catch (const EFileError&) {
        return "";
    }
}

std::vector<std::string> ApplicationFolders(const DesktopFolders& folders) {
    std::vector<std::string> result{folders.data + "applications/"};
    for (const std::string& data : folders.systemData) result.push_back(data + "applications/");
    return result;
}

// The default-application lists in the order the desktop reads them, the session's
// own ("gnome-mimeapps.list") before the common one in each folder.
std::vector<std::string> Lists(const DesktopFolders& folders) {
    std::vector<std::string> bases{folders.config};
    bases.insert(bases.end(), folders.systemConfig.begin(), folders.systemConfig.end());
    for (const std::string& applications : ApplicationFolders(folders))
        bases.push_back(applications);
    std::vector<std::string> lists;
    for (const std::string& base : bases) {
        for (std::string desktop : folders.desktops) {
            std::transform(desktop.begin(), desktop.end(), desktop.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            lists.push_back(base + desktop + "-mimeapps.list");
        }
        lists.push_back(base + "mimeapps.list");
    }
    // The older name, still read in the application folders.
    for (const std::string& applications : ApplicationFolders(folders))
        lists.push_back(applications + "defaults.list");
    return lists;
}

// The file the desktop reads for entry ID: the first application folder's, an ID
// "kde-player.desktop" found as "kde/player.desktop" too. Empty when none has it.
std::string EntryPath(const DesktopFolders& folders, const std::string& id) {
    std::error_code error;
    for (const std::string& applications : ApplicationFolders(folders)) {
        for (size_t dash = 0; dash != std::string::npos; dash = id.find('-', dash + 1)) {
            std::string relative = id;
            if (dash > 0) relative[dash] = '/';
            if (fs::is_regular_file(applications + relative, error)) return applications + relative;
        }
    }
    return "";
}

std::string EntryKey(const std::string& entry, const char* key) {
    const std::vector<std::string> values = ApplicationsFor(entry, "Desktop Entry", key);
    return values.empty() ? "" : values.front();
}

bool Installed(const DesktopFolders& folders, const std::string& id) {
    const std::string path = EntryPath(folders, id);
    return !path.empty() && EntryKey(Text(path), "Hidden") != "true";
}

bool Handles(const DesktopFolders& folders, const std::string& id, const std::string& mimeType) {
    const std::string path = EntryPath(folders, id);
    if (path.empty()) return false;
    const std::string entry = Text(path);
    const std::vector<std::string> types = ApplicationsFor(entry, "Desktop Entry", "MimeType");
    return EntryKey(entry, "Hidden") != "true" &&
           std::find(types.begin(), types.end(), mimeType) != types.end();
}

// The entries of one application folder that may list TYPE: in the order of its
// cache where the desktop's tools made one, else every entry by name.
std::vector<std::string> Candidates(const std::string& applications, const std::string& mimeType) {
    const std::string cache = Text(applications + "mimeinfo.cache");
    if (!cache.empty()) return ApplicationsFor(cache, "MIME Cache", mimeType);
    std::vector<std::string> ids;
    std::error_code error;
    for (fs::recursive_directory_iterator it(applications, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() != ".desktop") continue;
        std::string id = fs::relative(it->path(), applications, error).generic_string();
        std::replace(id.begin(), id.end(), '/', '-');
        ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace

std::string RankedHandler(const DesktopFolders& folders, const std::string& mimeType,
                          const std::string& excluded) {
    const std::vector<std::string> lists = Lists(folders);
    for (const std::string& list : lists)
        for (const std::string& id : ApplicationsFor(Text(list), "Default Applications", mimeType))
            if (Installed(folders, id)) return "";
    // Associations the user added come before the rest.
    for (const std::string& list : lists)
        for (const std::string& id : ApplicationsFor(Text(list), "Added Associations", mimeType))
            if (id != excluded && Handles(folders, id, mimeType)) return id;
    for (const std::string& applications : ApplicationFolders(folders))
        for (const std::string& id : Candidates(applications, mimeType))
            if (id != excluded && Handles(folders, id, mimeType)) return id;
    return "";
}

}  // namespace murmel
