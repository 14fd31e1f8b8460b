#pragma once
#include <string>
#include <vector>

namespace murmel {

// The user's temporary folder with a trailing "/": $TMPDIR, else /tmp.
std::string TempFolder();

// Reserves a new unique name in the temporary folder, such as "/tmp/1A2B.tmp",
// created empty (mode 0600, O_EXCL) so no other process can take it. Callers add
// their own extensions (".mp3", ".Ctr", ".mid") for the files they write.
// Throws std::runtime_error when no name can be reserved.
std::string MyGetTempFileName();

// The recorder's name for the same thing.
inline std::string NewTempBaseName() { return MyGetTempFileName(); }

// Reserves a base name with every file derived from it: BASE and BASE + each of
// `extensions` are created empty, exclusively, mode 0600, never through a link.
// When any of them is taken (another user's file, a planted link), this round's
// files are removed and a new base name is taken, until all are ours. Returns
// BASE. Throws std::runtime_error when no name can be reserved.
std::string ReserveTempNames(const std::vector<std::string>& extensions);

// Creates a file derived from a reserved name (the name plus an extension)
// exclusively, mode 0600, never through a link: anything already at that path,
// which another user of a shared temporary folder may have planted, is an error.
// Returns an open descriptor. Throws std::runtime_error.
int CreateDerivedTempFile(const std::string& path);

// A new temporary file PLACEHOLDER + extension, open for writing. The placeholder
// is the reserved name (remove it with the file). When the derived name is
// already taken the placeholder is given back and a new name reserved.
struct TempFile {
    std::string placeholder;
    std::string path;
    int fd = -1;
};
TempFile CreateTempFile(const std::string& extension);

}  // namespace murmel
