#include "ExportTarget.h"

#include <sys/stat.h>

#include <cerrno>

#include "SafeFile.h"

namespace murmel {

void CheckExportTarget(const std::string& voiceMail, const std::string& target) {
    struct stat out {};
    if (lstat(target.c_str(), &out) != 0) {
        if (errno == ENOENT) return;  // a new name
        throw EFileError(target, errno);
    }
    if (S_ISLNK(out.st_mode))
        throw EFileError(target,
                         "is a link; an export writes a new file or replaces a regular one");
    if (!S_ISREG(out.st_mode)) throw EFileError(target, "not a regular file");
    struct stat in {};
    if (stat(voiceMail.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw EFileError(target, "is the voice mail being exported");
}

}  // namespace murmel
