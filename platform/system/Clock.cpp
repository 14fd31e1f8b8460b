#include "Clock.h"

#include <chrono>
#include <thread>

namespace murmel {
namespace {

int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

WallClock::WallClock() : originNs_(MonotonicNs()) {}

int64_t WallClock::NowMs() { return (MonotonicNs() - originNs_) / 1000000; }

void WallClock::WaitUntilMs(int64_t ms) {
    const int64_t remainingNs = ms * 1000000 - (MonotonicNs() - originNs_);
    if (remainingNs > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(remainingNs));
}

}  // namespace murmel
