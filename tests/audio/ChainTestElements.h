#pragma once
// Chain elements and a capture device for the chain tests: elements that log
// their notifications and keep what passes them; a device the test feeds by hand.
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CaptureDevice.h"
#include "MMDSPObj.h"

namespace murmel::test {

// Notifications of every element, in the order they happened.
struct EventLog {
    std::mutex lock;
    std::vector<std::string> events;
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(event);
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> guard(lock);
        return std::exchange(events, {});
    }
};

class LoggingElement : public TMMDSPComponent {
public:
    LoggingElement(std::string name, EventLog& log) : TMMDSPComponent(std::move(name)), log_(log) {}

    void Opened() override {
        log_.Add(Name() + ":Opened:" + std::to_string(BufferSize()));
        if (failOpen) throw std::runtime_error("open failed");
        TMMDSPComponent::Opened();
    }
    void Closed() override {
        log_.Add(Name() + ":Closed");
        TMMDSPComponent::Closed();
    }
    void Started() override {
        log_.Add(Name() + ":Started");
        TMMDSPComponent::Started();
    }
    void Stopped() override {
        if (IsStarted()) log_.Add(Name() + ":Stopped");
        TMMDSPComponent::Stopped();
    }
    void BufferReady(PWaveHdr header) override {
        inside = true;
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (IsStarted()) bytes_.append(header->lpData, header->dwBytesRecorded);
            ++buffers_;
        }
        inside = false;
        if (failAfter >= 0 && Buffers() > failAfter) throw std::runtime_error("element failed");
        TMMDSPComponent::BufferReady(header);
    }

    std::string Bytes() {
        std::lock_guard<std::mutex> guard(lock_);
        return bytes_;
    }
    int Buffers() {
        std::lock_guard<std::mutex> guard(lock_);
        return buffers_;
    }
    // Waits until `count` buffers have passed (false after 5 s).
    bool WaitForBuffers(int count) {
        for (int i = 0; i < 500; ++i) {
            if (Buffers() >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool failOpen = false;
    int failAfter = -1;
    std::chrono::milliseconds delay{0};
    std::atomic<bool> inside{false};

private:
    EventLog& log_;
    std::mutex lock_;
    std::string bytes_;
    int buffers_ = 0;
};

// A device the test drives: it pushes bytes (as the device thread) and sets the
// sample counter.
struct FakeDeviceState {
    std::atomic<bool> present{true};
    std::atomic<uint64_t> position{0};
    std::atomic<bool> started{false};
    std::atomic<CaptureClient*> client{nullptr};
    std::string openFailure;
    size_t Push(const std::string& bytes) {
        return client.load()->CaptureData(reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size());
    }
    size_t PushHole(size_t size) { return client.load()->CaptureData(nullptr, size); }
};

class FakeCapture : public CaptureDevice {
public:
    explicit FakeCapture(std::shared_ptr<FakeDeviceState> state) : state_(std::move(state)) {}
    bool Probe() override { return state_->present; }
    std::string ProductName() const override { return "Fake"; }
    bool CanRecord(const CaptureFormat& format) const override { return format.bits == 16; }
    void Open(const CaptureFormat&, CaptureClient* client) override {
        if (!state_->openFailure.empty()) throw CaptureError(state_->openFailure);
        state_->client = client;
    }
    void Start() override { state_->started = true; }
    void Stop() override { state_->started = false; }
    uint64_t Position() override { return state_->position; }
    void Close() override { state_->client = nullptr; }

private:
    std::shared_ptr<FakeDeviceState> state_;
};

}  // namespace murmel::test
