#pragma once
// A track read through a 64 KiB window, for walking MPEG frame headers: a frame at
// a low bit rate is a few dozen bytes, too few for a read of its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

namespace murmel {

// Fills `out` with up to `count` bytes of the track from `offset`; fewer only at its end.
using TrackReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

class TrackWindowReader {
  public:
    TrackWindowReader(TrackReadAt read, uint64_t size) : read_(std::move(read)), size_(size) {}
    // The 4 bytes at `offset`; nullptr where the track holds fewer from there.
    const uint8_t* Four(uint64_t offset) {
        if (offset < start_ || offset + 4 > start_ + filled_) {
            if (offset >= size_) return nullptr;
            start_ = offset;
            filled_ = read_(offset, window_,
                            static_cast<size_t>(std::min<uint64_t>(sizeof window_, size_ - offset)));
            if (filled_ < 4) return nullptr;
        }
        return window_ + (offset - start_);
    }

  private:
    TrackReadAt read_;
    uint64_t size_;
    uint8_t window_[65536];
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

}  // namespace murmel
