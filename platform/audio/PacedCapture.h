#pragma once
// The common half of the sources that make their own sound (file, tone, silence):
// a thread that hands the client generated frames either at real-time pace (by
// the steady clock) or as fast as the client takes them.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "CaptureDevice.h"

namespace murmel {

class PacedCapture : public CaptureDevice {
public:
    explicit PacedCapture(bool realTime) : realTime_(realTime) {}
    ~PacedCapture() override;

    bool CanRecord(const CaptureFormat& format) const override;
    void Open(const CaptureFormat& format, CaptureClient* client) override;
    void Start() override;
    void Stop() override;
    uint64_t Position() override;
    void Close() override;
    bool Exhausted() const override { return exhausted_; }

protected:
    // Fills up to `frames` frames of interleaved samples in -1..1 with
    // format().channels channels; returns how many it made (fewer at the end).
    virtual size_t Generate(float* samples, size_t frames) = 0;
    // Called by Open before any Generate, with the format to make.
    virtual void Prepare(const CaptureFormat& format) = 0;
    const CaptureFormat& format() const { return format_; }

private:
    void Run();
    void RunRealTime();
    void RunFast();
    // Makes `frames` frames (silence past the source's end) into bytes_.
    size_t Produce(size_t frames);
    bool Offer(const uint8_t* bytes, size_t size);

    const bool realTime_;
    CaptureFormat format_;
    CaptureClient* client_ = nullptr;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    bool sourceEnded_ = false;  // the generator has nothing more (device thread)
    std::atomic<bool> exhausted_{false};
    std::atomic<uint64_t> framesBeforeStart_{0};  // frames made by earlier runs
    std::atomic<uint64_t> framesThisRun_{0};
    std::vector<float> samples_;
    std::vector<uint8_t> bytes_;
};

}  // namespace murmel
