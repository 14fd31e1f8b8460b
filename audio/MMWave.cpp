#include "MMWave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

namespace murmel {

namespace {

void PutU32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutId(std::vector<uint8_t>& out, const char* id, uint32_t size) {
    out.insert(out.end(), id, id + 4);
    uint8_t bytes[4];
    PutU32(bytes, size);
    out.insert(out.end(), bytes, bytes + 4);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// Bytes given up per retry when the trailer finds no room: enough to free a
// file-system block so the 12-byte trailer fits.
constexpr uint64_t kTrailerRoomStep = 8192;
constexpr int kTrailerRetries = 4;

std::string RefusalText(const std::string& path, const std::string& reason) {
    return "Unable to create wave file: " + path + ": " + reason;
}

// True when something stands at `path` that a new recording may replace: a
// regular file we could open for writing that is empty or a wave file, or a
// link (the link goes, its target is never touched). What is not (a device, a
// FIFO, another user's read-only file, a text typed by mistake) is refused, and
// never unlinked. A folder keeps the plain message.
bool Replaceable(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    if (S_ISLNK(info.st_mode)) return true;
    if (S_ISDIR(info.st_mode)) throw EMMWaveError("Unable to create wave file");
    if (!S_ISREG(info.st_mode)) throw EMMWaveError(RefusalText(path, "not a regular file"));
    int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EMMWaveError(RefusalText(path, std::strerror(errno)));
    char header[12] = {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool wave = info.st_size == 0 || (pread(fd, header, sizeof header, 0) == sizeof header &&
                                            std::memcmp(header, "RIFF", 4) == 0 &&
                                            std::memcmp(header + 8, "WAVE", 4) == 0);
    close(fd);
    if (!regular) throw EMMWaveError(RefusalText(path, "not a regular file"));
    if (!wave) throw EMMWaveError(RefusalText(path, "not a wave file, left as it is"));
    return true;
}

}  // namespace

std::optional<uint64_t> QueryFreeSpace(const std::string& folder) {
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

uint32_t WaveBytesToSamples(uint64_t bytes, uint32_t samplesPerSec, uint32_t avgBytesPerSec) {
    if (avgBytesPerSec == 0) return 0;
    // bytes stays below 2^32 for a RIFF file, so the product fits 64 bits.
    uint64_t product = std::min<uint64_t>(bytes, UINT32_MAX) * samplesPerSec;
    return static_cast<uint32_t>((product + avgBytesPerSec / 2) / avgBytesPerSec);
}

TMMWave::TMMWave() = default;

TMMWave::~TMMWave() {
    if (IsOpen()) Finalise();
}

void TMMWave::SetFileName(const std::string& name) {
    std::string full;
    if (!name.empty()) {
        std::error_code error;
        full = std::filesystem::absolute(name, error).lexically_normal().string();
        if (error) full = name;
    }
    if (FileMustExist && (full.empty() || access(full.c_str(), F_OK) != 0))
        throw EMMWaveError("Error reading wave file");
    fileName_ = full;
}

void TMMWave::SetIOBufferSize(int32_t size) { ioBufferSize_ = std::max(size, kMinIOBufferSize); }

void TMMWave::Create(const TWaveFormatEx* format) {
    if (IsOpen()) Finalise();
    std::vector<uint8_t> record = WaveFormatBytes(format);
    if (fileName_.empty() || record.size() < kWaveFormatHeaderSize)
        throw EMMWaveError("Unable to create wave file");
    if (IsPCMFormat(format)) record[16] = record[17] = 0;  // cbSize of a PCM record

    // Replace an existing file; O_EXCL then makes sure we write a file of our own
    // and not through a link planted in its place meanwhile.
    if (Replaceable(fileName_) && unlink(fileName_.c_str()) != 0)
        throw EMMWaveError("Unable to create wave file");
    int fd = open(fileName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw EMMWaveError("Unable to create wave file");

    std::vector<uint8_t> header;
    const uint32_t formatSize = static_cast<uint32_t>(record.size());
    PutId(header, "RIFF", 0);
    header.insert(header.end(), {'W', 'A', 'V', 'E'});
    PutId(header, "fmt ", formatSize);
    header.insert(header.end(), record.begin(), record.end());
    if (formatSize % 2) header.push_back(0);
    PutId(header, "data", 0);

    fd_ = fd;
    dataOffset_ = 0;
    if (!WriteAt(0, header.data(), header.size())) {
        CloseFile();
        unlink(fileName_.c_str());
        throw EMMWaveError("Unable to create wave file");
    }
    try {
        buffer_.assign(static_cast<size_t>(ioBufferSize_), 0);
    } catch (const std::bad_alloc&) {
        CloseFile();
        unlink(fileName_.c_str());
        throw EMMWaveError("Unable to setup file IO buffer");
    }
    dataOffset_ = static_cast<int64_t>(header.size());
    buffered_ = 0;
    dataBytes_ = diskBytes_ = updatedBytes_ = 0;
    sampleCount_ = 0;
    fileSize_ = 0;
    lastWriteError_ = 0;
    samplesPerSec_ = format->nSamplesPerSec;
    avgBytesPerSec_ = format->nAvgBytesPerSec;
}

bool TMMWave::WriteAt(int64_t offset, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t written = pwrite(fd_, bytes, size, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
        offset += written;
        if (offset > dataOffset_ && dataOffset_ > 0)
            diskBytes_ =
                std::max<uint64_t>(diskBytes_, static_cast<uint64_t>(offset - dataOffset_));
    }
    return true;
}

bool TMMWave::FlushBuffer() {
    if (buffered_ == 0) return true;
    const int64_t offset = dataOffset_ + static_cast<int64_t>(dataBytes_ - buffered_);
    bool ok = WriteAt(offset, buffer_.data(), buffered_);
    buffered_ = 0;
    if (!ok) dataBytes_ = diskBytes_;  // what did not reach the file is not data
    return ok;
}

void TMMWave::UpdateCounts() {
    sampleCount_ =
        std::max(sampleCount_, WaveBytesToSamples(dataBytes_, samplesPerSec_, avgBytesPerSec_));
}

bool TMMWave::Append(const void* data, size_t size, bool checkSpace) {
    if (!IsOpen()) return false;
    if (checkSpace) {
        std::optional<uint64_t> free = FreeSpace ? FreeSpace(FolderOf(fileName_)) : std::nullopt;
        if (!free || *free < static_cast<uint64_t>(ioBufferSize_) + size + kDiskReserve) {
            lastWriteError_ = ENOSPC;
            return false;
        }
    }
    // A RIFF file cannot describe more than 4 GiB.
    if (static_cast<uint64_t>(dataOffset_) + dataBytes_ + size + 16 > UINT32_MAX) {
        lastWriteError_ = EFBIG;
        return false;
    }

    const auto* bytes = static_cast<const uint8_t*>(data);
    bool ok = true;
    if (buffered_ + size > buffer_.size()) ok = FlushBuffer();
    if (ok && size >= buffer_.size()) {
        ok = WriteAt(dataOffset_ + static_cast<int64_t>(dataBytes_), bytes, size);
        dataBytes_ = ok ? dataBytes_ + size : diskBytes_;
    } else if (ok) {
        std::memcpy(buffer_.data() + buffered_, bytes, size);
        buffered_ += size;
        dataBytes_ += size;
    }
    UpdateCounts();
    if (ok && UpdateDue()) ok = UpdateOnDisk();
    if (!ok) lastWriteError_ = errno ? errno : EIO;
    return ok;
}

bool TMMWave::UpdateDue() const {
    if (UpdateIntervalMs <= 0) return false;
    // Counted in sound, not wall time: a stalled input has nothing new to save.
    const uint64_t interval = uint64_t{avgBytesPerSec_} * uint64_t(UpdateIntervalMs) / 1000;
    return dataBytes_ - updatedBytes_ >= std::max<uint64_t>(interval, 1);
}

// Puts the buffered sound on disk and makes the header describe it, so the file
// is a valid wave file should the recording never be finalised; the bytes past
// the sizes are only the data that came after. Finalise rewrites both sizes.
bool TMMWave::UpdateOnDisk() {
    if (!FlushBuffer()) return false;
    uint8_t size[4];
    PutU32(size, static_cast<uint32_t>(dataBytes_));
    bool ok = WriteAt(dataOffset_ - 4, size, 4);
    PutU32(size, static_cast<uint32_t>(static_cast<uint64_t>(dataOffset_) + dataBytes_ - 8));
    ok = ok && WriteAt(4, size, 4);
    // Start the writeback now rather than at the kernel's leisure, so a power cut
    // loses little more than the interval; the capture thread does not wait for the
    // disk. Where this cannot be done (EINVAL, ENOSYS) the bytes are still written.
    ok = ok && (sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE) == 0 || errno == EINVAL ||
                errno == ENOSYS);
    if (ok) updatedBytes_ = dataBytes_;
    return ok;
}

bool TMMWave::Save() {
    if (!IsOpen()) return false;
    if (UpdateOnDisk()) return true;
    lastWriteError_ = errno ? errno : EIO;
    return false;
}

bool TMMWave::WriteTrailer() {
    uint8_t trailer[13] = {};
    size_t length = 0;
    if (dataBytes_ % 2) trailer[length++] = 0;
    std::memcpy(trailer + length, "fact", 4);
    PutU32(trailer + length + 4, 4);
    PutU32(trailer + length + 8, sampleCount_);
    length += 12;
    return WriteAt(dataOffset_ + static_cast<int64_t>(dataBytes_), trailer, length);
}

void TMMWave::Finalise() {
    if (!IsOpen()) return;
    FlushBuffer();
    sampleCount_ = 0;
    UpdateCounts();
    // On a full disk the trailer may find no room: give up the last data bytes
    // until it fits, so the file stays a valid wave file.
    bool trailer = WriteTrailer();
    for (int retry = 0; !trailer && retry < kTrailerRetries && dataBytes_ > 0; ++retry) {
        uint64_t end = static_cast<uint64_t>(dataOffset_) + dataBytes_;
        uint64_t cut = std::min(dataBytes_, end % kTrailerRoomStep + kTrailerRoomStep);
        dataBytes_ -= cut;
        if (ftruncate(fd_, dataOffset_ + static_cast<int64_t>(dataBytes_)) != 0) break;
        sampleCount_ = 0;
        UpdateCounts();
        trailer = WriteTrailer();
    }
    if (trailer) {
        const uint64_t end =
            static_cast<uint64_t>(dataOffset_) + dataBytes_ + (dataBytes_ % 2) + 12;
        uint8_t size[4];
        bool ok = ftruncate(fd_, static_cast<off_t>(end)) == 0;
        PutU32(size, static_cast<uint32_t>(dataBytes_));
        ok = ok && WriteAt(dataOffset_ - 4, size, 4);
        PutU32(size, static_cast<uint32_t>(end - 8));
        ok = ok && WriteAt(4, size, 4);
        if (ok) fileSize_ = end;
    }
    CloseFile();
}

void TMMWave::Discard() {
    if (!IsOpen()) return;
    CloseFile();
    unlink(fileName_.c_str());
}

void TMMWave::CloseFile() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    buffered_ = 0;
    std::vector<uint8_t>().swap(buffer_);
}

}  // namespace murmel
