#include "MMSpectrFeed.h"

#include <algorithm>
#include <cstring>

#include "MMSpectr.h"

namespace murmel {

void TMMSpectrumFeed::Start(const TWaveFormatEx* format, int32_t bufferSize) {
    std::lock_guard<std::mutex> guard(lock_);
    avgBytesPerSec_ = format ? format->nAvgBytesPerSec : 0;
    display_.assign(static_cast<size_t>(std::max(bufferSize, 0)), 0);
    length_ = offset_ = 0;
    pending_ = false;
    running_ = true;
}

void TMMSpectrumFeed::Stop() {
    std::lock_guard<std::mutex> guard(lock_);
    running_ = pending_ = false;
    length_ = offset_ = 0;
    std::vector<uint8_t>().swap(display_);
}

bool TMMSpectrumFeed::Running() const {
    std::lock_guard<std::mutex> guard(lock_);
    return running_;
}

bool TMMSpectrumFeed::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_;
}

size_t TMMSpectrumFeed::Offset() const {
    std::lock_guard<std::mutex> guard(lock_);
    return offset_;
}

void TMMSpectrumFeed::Copy(const void* data, size_t size, uint64_t nowMicroseconds) {
    if (!data) return;
    std::lock_guard<std::mutex> guard(lock_);
    if (!running_) return;
    arrival_ = nowMicroseconds;
    length_ = std::min(size, display_.size());
    std::memcpy(display_.data(), data, length_);
    offset_ = 0;
    pending_ = true;
}

bool TMMSpectrumFeed::Refresh(TMMSpectrum& spectrum, uint64_t nowMicroseconds) {
    const size_t frameBytes = static_cast<size_t>(spectrum.FrameBytes());
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!running_ || !pending_) return false;
        if (Synchronize && avgBytesPerSec_ > 0) {
            const uint64_t due = arrival_ + uint64_t{offset_} * 1000000 / avgBytesPerSec_;
            if (nowMicroseconds < due) return false;
        }
        if (offset_ + frameBytes > length_) {
            pending_ = false;
            return false;
        }
        frame_.assign(display_.begin() + static_cast<ptrdiff_t>(offset_),
                      display_.begin() + static_cast<ptrdiff_t>(offset_ + frameBytes));
        offset_ += frameBytes;
    }
    // The spectrum works outside the lock so the capture thread never waits for it.
    spectrum.RefreshPCMData(frame_.data());
    return true;
}

}  // namespace murmel
