#include "AttachmentList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "PkStreamCol.h"
#include "RecordingSaver.h"

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

std::string AttachmentList::SaveAsTarget(const std::string& chosen, const std::string& itemPath) {
    const std::string name = CaptionOf(itemPath);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? chosen : chosen + name.substr(dot);
}

bool AttachmentList::SaveAs(size_t index, const std::string& chosen) const {
    if (index >= items_.size() || chosen.empty()) return false;
    try {
        CopyRecording(items_[index].path, SaveAsTarget(chosen, items_[index].path));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

AttachmentList::DeleteResult AttachmentList::Delete(size_t index) {
    if (index >= items_.size()) return DeleteResult::AlreadyGone;
    const std::string& path = items_[index].path;
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
        Remove(index);
        return DeleteResult::AlreadyGone;
    }
    // A writable folder lets anyone unlink a read-only file; the file's own
    // write permission is what says it is protected (root included).
    const bool writable = (status.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
    if (!S_ISREG(status.st_mode) || !writable || unlink(path.c_str()) != 0)
        return DeleteResult::InUse;
    Remove(index);
    return DeleteResult::Deleted;
}

}  // namespace murmel
