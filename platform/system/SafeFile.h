#pragma once
// The rules every writer and reader of user files follows: new files are created
// exclusively and never through a link, replaced files are written beside the old
// one and renamed over it, inputs are regular files whose size is checked first.
// Every failure is an exception naming the path and the reason.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace murmel {

// "PATH: reason"; Path() and Reason() give the two halves for callers that word
// their own message.
class EFileError : public std::runtime_error {
  public:
    EFileError(const std::string& path, const std::string& reason);
    EFileError(const std::string& path, int error);  // the reason is strerror(error)
    // A message that names no path (the address book's "File not found").
    explicit EFileError(const std::string& message);
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }

  private:
    std::string path_;
    std::string reason_;
};

// "PATH: reason" for errno `error`, the message of every EFileError.
std::string FileErrorText(const std::string& path, int error);

// Largest input we read whole: far above any real voice mail (an hour at 8K is
// about 30 MB), far below what would exhaust memory.
constexpr uint64_t kMaxInputFileSize = 512ull * 1024 * 1024;

enum class FileSharing {
    Private,  // mode 0600: temporary tracks, settings that may hold a password
    Shared,   // mode 0666 less the umask: recordings and exports the user keeps
};

// Creates PATH for writing with O_CREAT|O_EXCL|O_NOFOLLOW; an existing name (a file,
// a link, a dangling link) is refused with EEXIST. Returns the open descriptor.
int CreateFileExclusive(const std::string& path, FileSharing sharing);

// Writes all of `size` bytes to `fd` (EINTR retried); false with errno set on failure.
bool WriteAll(int fd, const void* data, size_t size);

// Reads up to `count` bytes at `offset` of `fd` (EINTR retried); fewer only at the
// end of the file or on a read error.
size_t ReadAllAt(int fd, uint64_t offset, void* out, size_t count);

// Replaces PATH with DATA atomically: a sibling temporary file is written, fsynced
// and renamed over PATH, so the old file survives every failure (disk full included).
// An existing PATH keeps its mode; a new one gets `sharing`'s. An existing PATH that
// is not a regular file (a folder, a device, a FIFO) is refused; a link at PATH is
// replaced by the new file, never written through.
void ReplaceFileAtomically(const std::string& path, const void* data, size_t size,
                           FileSharing sharing);

// The same, with the content produced by `write` into the open temporary descriptor
// (for outputs too large to hold in memory); `write` returns false with errno set.
template <typename Writer>
void ReplaceFileWith(const std::string& path, FileSharing sharing, Writer&& write);

// Reads a whole input file: refused unless it is a regular file (a FIFO or device
// never blocks us) of at most `limit` bytes.
std::vector<uint8_t> ReadRegularFile(const std::string& path, uint64_t limit = kMaxInputFileSize);

// Opens an input for reading after the same checks; returns the descriptor and its size.
// Something that is not a regular file is never opened at all where that can be
// seen beforehand (opening a device can have effects of its own).
int OpenRegularFile(const std::string& path, uint64_t* size, uint64_t limit = kMaxInputFileSize);

// The user's file-creation mask, read without changing it (umask() would, for a
// moment, for every thread of the process).
unsigned CurrentUmask();

// --- implementation detail of ReplaceFileWith ---
struct PendingReplacement {
    PendingReplacement(const std::string& path, FileSharing sharing);
    ~PendingReplacement();  // removes the temporary file unless committed
    PendingReplacement(const PendingReplacement&) = delete;
    PendingReplacement& operator=(const PendingReplacement&) = delete;
    int fd = -1;
    [[noreturn]] void Fail(int error);  // throws EFileError naming the target
    void Commit();                      // fsync, close, rename; throws on failure
    std::string target;
    std::string temporary;

  private:
    void Discard();
};

template <typename Writer>
void ReplaceFileWith(const std::string& path, FileSharing sharing, Writer&& write) {
    PendingReplacement pending(path, sharing);
    if (!write(pending.fd)) pending.Fail(errno ? errno : EIO);
    pending.Commit();
}

}  // namespace murmel
