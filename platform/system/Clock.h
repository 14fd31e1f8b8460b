#pragma once
#include <cstdint>

namespace murmel {

// Where ticks and playback positions take their time from: the wall clock for
// real outputs, the amount of rendered sound for the offline renderer, a fake
// clock in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t NowMs() = 0;
    // Returns once the clock has reached `ms` (at once when it already has).
    virtual void WaitUntilMs(int64_t ms) = 0;
};

// The monotonic wall clock, counted from the clock's creation.
class WallClock : public Clock {
public:
    WallClock();
    int64_t NowMs() override;
    void WaitUntilMs(int64_t ms) override;

private:
    int64_t originNs_;
};

}  // namespace murmel
