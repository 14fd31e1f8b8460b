// TMMWaveIn: the wave input bound to a capture device. The device delivers bytes
// in fragments of its own size; they fill the queued buffers in order, and every
// full buffer goes back to the wave input (BufferFilled), as waveIn would do.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "MMWavIn.h"

namespace murmel {

TMMWaveIn::TMMWaveIn(std::string name)
    : TMMWaveIn(std::move(name), CaptureDeviceFromEnvironment()) {}

TMMWaveIn::TMMWaveIn(std::string name, std::unique_ptr<CaptureDevice> device)
    : TMMCustomWaveIn(std::move(name)), device_(std::move(device)), queue_(kMaxWaveInBuffers + 1) {
    CountDevices();
}

TMMWaveIn::~TMMWaveIn() {
    BeginDestroying();
    Close();
}

void TMMWaveIn::InitDeviceApi() {
    present_ = device_->Probe();
    productName_ = present_ ? device_->ProductName() : "";
}

void TMMWaveIn::SetDevice(std::unique_ptr<CaptureDevice> device) {
    if (State() & wisOpen) Error("The device cannot change while the input is open");
    device_ = std::move(device);
}

TMMInputLevel TMMWaveIn::TakeInputLevel() {
    return {peak_.exchange(0), longestFullScaleRun_.exchange(0)};
}

namespace {
void RaiseTo(std::atomic<int>& value, int candidate) {
    int current = value.load(std::memory_order_relaxed);
    while (candidate > current && !value.compare_exchange_weak(current, candidate)) {
    }
}
}  // namespace

// A whole fragment is scanned in one pass; the atomics are touched once per fragment.
void TMMWaveIn::MeasureLevel(const uint8_t* bytes, size_t size) {
    int peak = 0;
    int run = fullScaleRun_, longest = 0;
    auto sample = [&](int magnitude, bool fullScale) {
        peak = std::max(peak, magnitude);
        run = fullScale ? run + 1 : 0;
        longest = std::max(longest, run);
    };
    if (!bytes) {
        run = 0;
    } else if (bits_ == 8) {
        for (size_t i = 0; i < size; ++i)
            sample(std::abs(int(bytes[i]) - 128) * 256, bytes[i] == 0 || bytes[i] == 255);
    } else {
        for (size_t i = 0; i + 1 < size; i += 2) {
            const int value = static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8);
            sample(std::abs(value), value >= 32767 || value <= -32767);
        }
    }
    fullScaleRun_ = run;
    RaiseTo(peak_, peak);
    RaiseTo(longestFullScaleRun_, longest);
}

bool TMMWaveIn::DeviceCanRecord(const TWaveFormatEx& format) {
    if (!IsPCMFormat(&format)) return false;
    return device_->CanRecord({format.nSamplesPerSec, format.nChannels, format.wBitsPerSample});
}

std::string TMMWaveIn::DeviceOpen(const TWaveFormatEx& format) {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        queueHead_ = queueCount_ = 0;
    }
    silence_ = format.wBitsPerSample == 8 ? 128 : 0;
    bits_ = format.wBitsPerSample;
    fullScaleRun_ = 0;
    TakeInputLevel();
    try {
        device_->Open({format.nSamplesPerSec, format.nChannels, format.wBitsPerSample}, this);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

std::string TMMWaveIn::DeviceAddBuffer(PWaveHdr header) {
    std::lock_guard<std::mutex> guard(queueLock_);
    if (queueCount_ == queue_.size()) return "Too many buffers queued";
    header->dwBytesRecorded = 0;
    queue_[(queueHead_ + queueCount_) % queue_.size()] = header;
    ++queueCount_;
    return "";
}

std::string TMMWaveIn::DeviceStart() {
    try {
        device_->Start();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

std::string TMMWaveIn::DeviceStop() {
    device_->Stop();
    ReturnBuffers(false);
    return "";
}

std::string TMMWaveIn::DeviceReset() {
    device_->Stop();
    ReturnBuffers(true);
    return "";
}

std::string TMMWaveIn::DeviceClose() {
    device_->Close();
    std::lock_guard<std::mutex> guard(queueLock_);
    queueHead_ = queueCount_ = 0;
    return "";
}

bool TMMWaveIn::DevicePosition(uint64_t& samples) {
    samples = device_->Position();
    return true;
}

// Buffers are handed back outside the queue's lock: in cmCallback mode the wave
// input queues them again at once.
void TMMWaveIn::ReturnBuffers(bool all) {
    std::array<PWaveHdr, kMaxWaveInBuffers + 1> returned;
    size_t count = 0;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        while (queueCount_ > 0) {
            PWaveHdr header = queue_[queueHead_];
            if (!all && header->dwBytesRecorded == 0) break;
            header->dwFlags |= WHDR_DONE;
            returned[count++] = header;
            queueHead_ = (queueHead_ + 1) % queue_.size();
            --queueCount_;
            if (!all) break;
        }
    }
    for (size_t i = 0; i < count; ++i) BufferFilled(returned[i], all);
}

// Device thread. Fills the queued buffers in order; a hole (bytes == nullptr)
// becomes silence. What finds no queued buffer is an overrun and is dropped.
size_t TMMWaveIn::CaptureData(const uint8_t* bytes, size_t size) {
    MeasureLevel(bytes, size);
    std::array<PWaveHdr, kMaxWaveInBuffers + 1> filled;
    size_t count = 0;
    size_t taken = 0;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        while (taken < size && queueCount_ > 0) {
            PWaveHdr header = queue_[queueHead_];
            size_t room = header->dwBufferLength - header->dwBytesRecorded;
            size_t piece = std::min(room, size - taken);
            char* target = header->lpData + header->dwBytesRecorded;
            if (bytes)
                std::memcpy(target, bytes + taken, piece);
            else
                std::memset(target, silence_, piece);
            header->dwBytesRecorded += static_cast<uint32_t>(piece);
            taken += piece;
            if (header->dwBytesRecorded == header->dwBufferLength) {
                header->dwFlags |= WHDR_DONE;
                filled[count++] = header;
                queueHead_ = (queueHead_ + 1) % queue_.size();
                --queueCount_;
            }
        }
    }
    for (size_t i = 0; i < count; ++i) BufferFilled(filled[i], false);
    return taken;
}

// Device thread. A device that died ends the recording through the capture
// thread's error path: the UI thread stops and closes the chain, which finalises
// the file with everything captured so far, and shows the reason.
void TMMWaveIn::DeviceFailed(const std::string& reason) {
    CaptureFailed(std::make_exception_ptr(EMMWaveInError(reason)));
}

}  // namespace murmel
