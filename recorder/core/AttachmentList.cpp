#include "AttachmentList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "PkStreamCol.h"
#include "RecordingSaver.h"
#include "Trash.h"

namespace murmel {

size_t AttachmentList::AddAttachment(const std::string& path) {
    items_.push_back({CaptionOf(path), path});
    const size_t index = items_.size() - 1;
    if (OnAdded) OnAdded(index);
    return index;
}

void AttachmentList::Remove(size_t index) {
    if (index >= items_.size()) return;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    if (OnRemoved) OnRemoved(index);
}

std::vector<std::string> AttachmentList::Paths() const {
    std::vector<std::string> paths;
    for (const Attachment& item : items_) paths.push_back(item.path);
    return paths;
}

uint64_t AttachmentList::FileSizeOf(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFOpenError(path, std::strerror(errno));
    struct stat status {};
    const int result = fstat(fd, &status);
    const int error = errno;
    close(fd);
    if (result != 0) throw EFOpenError(path, std::strerror(error));
    return static_cast<uint64_t>(status.st_size);
}

std::string AttachmentList::CaptionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// The real folder a path names, links resolved; empty when it cannot be found.
std::string RealFolder(const std::string& folder) {
    char* real = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (!real) return "";
    std::string result = real;
    free(real);
    return result;
}

}  // namespace

std::string AttachmentList::SaveAsTarget(const std::string& chosen, const std::string& itemPath) {
    const std::string name = CaptionOf(itemPath);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return chosen;
    const std::string extension = name.substr(dot);
    return EndsWithIgnoringCase(CaptionOf(chosen), extension) ? chosen : chosen + extension;
}

AttachmentList::SaveAsResult AttachmentList::SaveAs(
    size_t index, const std::string& chosen,
    const std::function<bool(const std::string&)>& confirmReplace) const {
    if (index >= items_.size() || chosen.empty()) return SaveAsResult::Failed;
    const std::string target = SaveAsTarget(chosen, items_[index].path);
    struct stat status {};
    if (lstat(target.c_str(), &status) == 0 && !(confirmReplace && confirmReplace(target)))
        return SaveAsResult::Declined;
    try {
        CopyRecording(items_[index].path, target);
        return SaveAsResult::Saved;
    } catch (const std::exception&) {
        return SaveAsResult::Failed;
    }
}

bool AttachmentList::IsOwnRecording(const std::string& path) const {
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        RealFolder(slash == std::string::npos ? "" : path.substr(0, slash + 1));
    if (folder.empty()) return false;
    for (const std::string& own : ownFolders_)
        if (RealFolder(own) == folder) return true;
    return false;
}

AttachmentList::DeleteResult AttachmentList::Delete(size_t index) {
    if (index >= items_.size()) return DeleteResult::AlreadyGone;
    const std::string path = items_[index].path;
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
        Remove(index);
        return DeleteResult::AlreadyGone;
    }
    if (!IsOwnRecording(path)) {
        Remove(index);  // the user's own document: only its place in the message goes
        return DeleteResult::Removed;
    }
    // The file's own write permission says it is protected (root included).
    const bool writable = (status.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
    if (!S_ISREG(status.st_mode) || !writable) return DeleteResult::InUse;
    MoveToTrash(path);
    Remove(index);
    return DeleteResult::Trashed;
}

}  // namespace murmel
