#pragma once
// The connector's display copy: the capture thread drops each buffer's sound in,
// the main thread's refresh passes hand the spectrum one frame at a time, each
// when its moment in real time has come. Times are microseconds of a clock the
// caller reads (so tests can drive it).
#include <cstdint>
#include <mutex>
#include <vector>

#include "MMDSPObj.h"

namespace murmel {

class TMMSpectrum;

class TMMSpectrumFeed {
  public:
    // Connector Started: the display format (PCM) and the buffer size.
    void Start(const TWaveFormatEx* format, int32_t bufferSize);
    // Connector Stopped: frees the display copy.
    void Stop();
    bool Running() const;

    // With Synchronize a frame waits until offset / nAvgBytesPerSec after its
    // buffer's arrival; without, frames follow each other pass by pass.
    bool Synchronize = true;

    // Capture thread: copies min(size, buffer size) bytes and restarts at offset 0.
    void Copy(const void* data, size_t size, uint64_t nowMicroseconds);
    // Main thread, one refresh pass: hands at most one due frame to the spectrum.
    // True when a frame was shown.
    bool Refresh(TMMSpectrum& spectrum, uint64_t nowMicroseconds);

    bool Pending() const;
    size_t Offset() const;

  private:
    mutable std::mutex lock_;
    bool running_ = false;
    uint32_t avgBytesPerSec_ = 0;
    std::vector<uint8_t> display_;
    size_t length_ = 0;
    uint64_t arrival_ = 0;
    size_t offset_ = 0;
    bool pending_ = false;
    std::vector<uint8_t> frame_;  // the frame handed on, copied out of the lock
};

}  // namespace murmel
