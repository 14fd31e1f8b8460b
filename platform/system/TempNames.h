#pragma once
#include <string>

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

// Creates (or truncates) a file derived from a reserved name without following a
// symlink planted at that path; an existing non-regular file is an error.
// Returns an open descriptor (mode 0600 when created). Throws std::runtime_error.
int CreateDerivedTempFile(const std::string& path);

}  // namespace murmel
