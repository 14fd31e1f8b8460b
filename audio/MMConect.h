#pragma once
// The connector: the chain element right after the wave input. It hands every
// buffer on unchanged and keeps a copy of its sound for the spectrum display
// (TMMSpectrumFeed), which the main thread's refresh passes read frame by frame.
#include <cstdint>
#include <functional>
#include <string>

#include "MMDSPObj.h"
#include "MMSpectr.h"
#include "MMSpectrFeed.h"

namespace murmel {

enum TMMTriggerMode { tmNone, tmRising, tmFalling };

class TMMConnector : public TMMDSPComponent {
public:
    explicit TMMConnector(std::string name = "Connector");

    // Published properties, with the recorder's values as defaults (EnterIdle and
    // the trigger are not used by the recorder).
    bool Enabled = true;
    bool AutoConvert = true;
    bool AutoTrigger = true;
    // Frames of a buffer are shown in step with real time; a buffer header's
    // companion (byte 40) is displayed instead of the buffer itself when set.
    bool Synchronize = true;
    int Speed = 5000;
    TMMTriggerMode TriggerMode = tmNone;
    int TriggerLevel = 0;
    bool RefreshOnStop = true;
    bool RealTime = true;
    bool EnterIdle = false;

    // The display the recorder links (Spectrum2); none is fine.
    TMMSpectrum* Spectrum2 = nullptr;
    // The display copy; the refresh loop reads it on the main thread.
    TMMSpectrumFeed& Feed() { return feed_; }
    // Main thread, at Started / Stopped of the feed: the window starts or ends its
    // refresh loop here.
    TMMNotifyEvent OnDisplayStart, OnDisplayStop;
    // Microseconds of a monotonic clock; tests replace it.
    std::function<uint64_t()> Clock;
    static uint64_t MicrosecondClock();

    void Started() override;
    void Stopped() override;
    // Capture thread: copies the sound for display, then hands the buffer on.
    void BufferReady(PWaveHdr lpWaveHdr) override;

private:
    TMMSpectrumFeed feed_;
};

}  // namespace murmel
