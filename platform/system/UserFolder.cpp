#include "UserFolder.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "ProgramFolder.h"
#include "SafeFile.h"

namespace murmel {
namespace {

namespace fs = std::filesystem;

// The user's own files: copied once, then theirs to change.
constexpr const char* kUsersOwn[] = {"user.dll", "Address"};
// Shipped data read in place: linked, so that an upgrade reaches every user.
constexpr const char* kShippedReadOnly[] = {"Setting.ini", "BGMusic", "notify.wav", "icons"};

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

// An XDG base folder: the variable when it holds an absolute path, else HOME + fallback.
std::string BaseFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return Home() + fallback;
}

bool Present(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

void Check(const std::error_code& error, const fs::path& path) {
    if (error) throw EFileError(path.string(), error.value());
}

}  // namespace

bool ProgramFolderIsTheUsers(const std::string& programFolder) {
    // Root may write a system-wide install, but its files there are the shipped ones.
    if (programFolder.rfind("/usr/", 0) == 0) return false;
    return access(programFolder.c_str(), W_OK) == 0;
}

std::string MusicFolder() {
    std::ifstream dirs(BaseFolder("XDG_CONFIG_HOME", "/.config") + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_MUSIC_DIR=\"";
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
        while (value.size() > 1 && value.back() == '/') value.pop_back();
        // A folder set to HOME itself is how user-dirs turns one off.
        if (value.empty() || value[0] != '/' || fs::path(value) == fs::path(Home())) break;
        return value;
    }
    return Home() + "/Music";
}

void FillUserFolder(const std::string& userFolder, const std::string& programFolder,
                    const std::string& musicFolder) {
    const fs::path user(userFolder), program(programFolder);
    std::error_code error;
    fs::create_directories(user, error);
    Check(error, user);
    fs::permissions(user, fs::perms::owner_all, error);  // settings hold the mail password
    Check(error, user);
    for (const char* name : kUsersOwn) {
        if (Present(user / name) || !Present(program / name)) continue;
        fs::copy(program / name, user / name, fs::copy_options::recursive, error);
        Check(error, user / name);
    }
    for (const char* name : kShippedReadOnly) {
        if (Present(user / name) || !Present(program / name)) continue;
        fs::create_symlink(program / name, user / name, error);
        Check(error, user / name);
    }
    if (!Present(user / "MyVoice")) {
        const fs::path recordings = fs::path(musicFolder) / "MyVoice";
        fs::create_directories(recordings, error);
        Check(error, recordings);
        fs::create_symlink(recordings, user / "MyVoice", error);
        Check(error, user / "MyVoice");
    }
}

std::string UserFolder() {
    static const std::string folder = [] {
        const std::string program = ProgramFolder();
        if (ProgramFolderIsTheUsers(program)) return program;
        const std::string user = BaseFolder("XDG_DATA_HOME", "/.local/share") + "/murmel/";
        try {
            FillUserFolder(user, program, MusicFolder());
        } catch (const EFileError& error) {
            // Each reader and writer then names what it misses.
            std::fprintf(stderr, "Your Murmel folder is incomplete: %s\n", error.what());
        }
        return user;
    }();
    return folder;
}

}  // namespace murmel
