#include "Mp3Decoder.h"

#include <mpg123.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace murmel {
namespace {

void InitialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

ssize_t ReadAt(const Mp3Decoder::Range& range, void* buffer, size_t count) {
    ssize_t got;
    do {
        got = pread(range.fd, buffer, count, static_cast<off_t>(range.offset + range.position));
    } while (got < 0 && errno == EINTR);
    return got;
}

// libmpg123 asks for a few bytes at a time (a frame's header, then its body, some
// dozens of bytes at low bit rates): the file is read ahead in large pieces and the
// asks are served from them, instead of a system call each.
constexpr size_t kReadAhead = 64 * 1024;

ssize_t ReadRange(void* handle, void* buffer, size_t bytes) {
    auto* range = static_cast<Mp3Decoder::Range*>(handle);
    const size_t count =
        static_cast<size_t>(std::min<uint64_t>(bytes, range->size - range->position));
    if (count >= kReadAhead) {
        const ssize_t got = ReadAt(*range, buffer, count);
        if (got > 0) range->position += static_cast<uint64_t>(got);
        return got;
    }
    const uint64_t held = range->bufferStart + range->buffer.size();
    if (range->position < range->bufferStart || range->position >= held) {
        range->buffer.resize(kReadAhead);
        const size_t ahead = static_cast<size_t>(
            std::min<uint64_t>(kReadAhead, range->size - range->position));
        const ssize_t got = ReadAt(*range, range->buffer.data(), ahead);
        range->buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
        range->bufferStart = range->position;
        if (got <= 0) return got;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(
        count, range->bufferStart + range->buffer.size() - range->position));
    std::memcpy(buffer, range->buffer.data() + (range->position - range->bufferStart), n);
    range->position += n;
    return static_cast<ssize_t>(n);
}

off_t SeekRange(void* handle, off_t offset, int whence) {
    auto* range = static_cast<Mp3Decoder::Range*>(handle);
    off_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<off_t>(range->position);
    if (whence == SEEK_END) base = static_cast<off_t>(range->size);
    const off_t target = base + offset;
    if (target < 0 || target > static_cast<off_t>(range->size)) return -1;
    range->position = static_cast<uint64_t>(target);
    return target;
}

}  // namespace

Mp3Decoder::Mp3Decoder(int fd, uint64_t offset, uint64_t size) : range_{fd, offset, size, 0} {
    InitialiseLibrary();
    int error = MPG123_OK;
    handle_ = mpg123_new(nullptr, &error);
    if (!handle_) throw std::runtime_error(mpg123_plain_strerror(error));
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Decode at the track's own rate and channel count, as float.
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_replace_reader_handle(handle_, ReadRange, SeekRange, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle_, &range_) != MPG123_OK || mpg123_scan(handle_) != MPG123_OK ||
        mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0) {
        mpg123_delete(handle_);
        throw std::runtime_error("No MPEG audio frames");
    }
    rate_ = static_cast<int>(rate);
    channels_ = channels;
    const off_t length = mpg123_length(handle_);
    totalFrames_ = length > 0 ? static_cast<int64_t>(length) : 0;
    mpg123_frameinfo info{};
    if (mpg123_info(handle_, &info) == MPG123_OK) kbps_ = info.bitrate;
}

Mp3Decoder::~Mp3Decoder() {
    mpg123_close(handle_);
    mpg123_delete(handle_);
}

bool Mp3Decoder::SameFormat() {
    long rate = 0;
    int channels = 0, encoding = 0;
    return mpg123_getformat(handle_, &rate, &channels, &encoding) == MPG123_OK && rate == rate_ &&
           channels == channels_;
}

void Mp3Decoder::Seek(int64_t frame) {
    frame = std::clamp<int64_t>(frame, 0, totalFrames_);
    // The scan has indexed every frame, so the seek is exact to the sample.
    const off_t reached = mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET);
    delivered_ = reached >= 0 ? static_cast<int64_t>(reached) : totalFrames_;
    ended_ = reached < 0 || delivered_ >= totalFrames_;
}

size_t Mp3Decoder::Read(float* out, size_t frames) {
    // The scanned length is what the device reports; damaged data may decode to
    // more, which is dropped so that position and length agree.
    frames = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(frames), totalFrames_ - delivered_));
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    size_t filled = 0;
    while (filled < frames && !ended_) {
        size_t done = 0;
        const int status =
            mpg123_read(handle_, reinterpret_cast<unsigned char*>(out) + filled * frameBytes,
                        (frames - filled) * frameBytes, &done);
        filled += done / frameBytes;
        if (status == MPG123_NEW_FORMAT && SameFormat()) continue;
        // A format change in mid-track would be misread as the old one: stop there.
        if (status != MPG123_OK && done == 0) ended_ = true;
        if (status == MPG123_DONE || status == MPG123_NEW_FORMAT) ended_ = true;
    }
    delivered_ += static_cast<int64_t>(filled);
    return filled;
}

}  // namespace murmel
