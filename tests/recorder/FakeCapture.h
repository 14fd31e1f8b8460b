#pragma once
// A capture device the test drives: it delivers sound when told and its clock
// (the wave input's position) moves only with what it delivered.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "CaptureDevice.h"

namespace murmel::test {

class FakeCapture : public CaptureDevice {
  public:
    struct Controls {
        std::atomic<CaptureClient*> client{nullptr};
        std::atomic<uint64_t> frames{0};
        std::atomic<bool> present{true};
        std::atomic<bool> started{false};
        // Delivers `ms` milliseconds of a square wave (quiet unless told) and moves the
        // clock. A stopped device delivers nothing, but its clock runs on.
        void Deliver(int ms, int16_t amplitude = 2000) {
            const size_t frameCount = static_cast<size_t>(ms) * 441 / 10;
            std::vector<uint8_t> bytes(frameCount * 4);
            for (size_t i = 0; i < frameCount; ++i) {
                const int16_t sample = (i / 50) % 2 ? amplitude : static_cast<int16_t>(-amplitude);
                for (int c = 0; c < 2; ++c) {
                    bytes[i * 4 + c * 2] = static_cast<uint8_t>(sample & 0xff);
                    bytes[i * 4 + c * 2 + 1] = static_cast<uint8_t>((sample >> 8) & 0xff);
                }
            }
            if (CaptureClient* c = started ? client.load() : nullptr) {
                // The input takes what its free buffers hold; the rest is offered
                // again once the capture thread has handed buffers back.
                size_t offset = 0;
                for (int idle = 0; offset < bytes.size() && idle < 2000;) {
                    size_t taken = c->CaptureData(bytes.data() + offset, bytes.size() - offset);
                    offset += taken;
                    idle = taken ? 0 : idle + 1;
                    if (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
            frames += frameCount;
        }
    };

    explicit FakeCapture(Controls& controls) : controls_(controls) {}
    bool Probe() override { return controls_.present; }
    std::string ProductName() const override { return "Fake capture"; }
    bool CanRecord(const CaptureFormat&) const override { return true; }
    void Open(const CaptureFormat&, CaptureClient* client) override {
        controls_.frames = 0;
        controls_.client = client;
    }
    void Start() override { controls_.started = true; }
    void Stop() override { controls_.started = false; }
    uint64_t Position() override { return controls_.frames; }
    void Close() override { controls_.client = nullptr; }

  private:
    Controls& controls_;
};

}  // namespace murmel::test
