// The wave input while buffers flow: the capture thread's BufferDone, the stop
// and close protocol, the position and the failure path.
#include <algorithm>
#include <chrono>

#include "MMWavIn.h"

namespace murmel {
namespace {

constexpr uint64_t kWrapDrop = 65535;       // a step back this big is a wrapped counter
constexpr uint64_t kWrapLowBits = 0xFFFFF;  // a wrapped counter's modulus has these bits set
constexpr auto kBufferReturnWait = std::chrono::milliseconds(1000);  // 100 rounds of 10 ms

// Set while this thread runs BufferDone: a Stop or Close asked from inside the
// chain must not wait for the buffer it is itself part of.
thread_local bool insideBufferDone = false;

}  // namespace

// ---------------------------------------------------------------------------
// Capture thread

// Every buffer handed back is counted back exactly once; it goes down the chain
// at most once: on the normal path, or, once a stop has begun, when it holds data
// recorded before the device was reset.
void TMMCustomWaveIn::BufferDone(PWaveHdr header, bool fromReset) {
    bool normal = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queued_ = std::max(queued_ - 1, 0);
        if (!(state_ & wisStarted) || failed_) {
            if (queued_ == 0) resetting_ = false;
            progress_.notify_all();
            return;
        }
        normal = !stopping_ && !resetting_;
        ++handlers_;
    }
    insideBufferDone = true;
    struct HandlerEnd {
        TMMCustomWaveIn& self;
        ~HandlerEnd() {
            insideBufferDone = false;
            std::lock_guard<std::mutex> guard(self.lock_);
            --self.handlers_;
            if (self.queued_ == 0 && self.stopping_) self.resetting_ = false;
            self.progress_.notify_all();
        }
    } end{*this};
    if (normal || (!fromReset && header->dwBytesRecorded > 0)) BufferReady(header);
    if (normal) Requeue(header);
}

void TMMCustomWaveIn::Requeue(PWaveHdr header) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_ || resetting_) return;  // a stop began while this buffer was in the chain
        ++queued_;
    }
    TrackWrap();
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    header->dwBytesRecorded = 0;
    std::string failure = DeviceAddBuffer(header);
    if (!failure.empty()) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            --queued_;
        }
        throw EMMWaveInError(PlatformMessage("WaveInAddBuffer:", failure));
    }
}

// A device whose sample counter is narrower than ours wraps now and then; a big
// step back marks it, and Position adds the wrapped rounds back.
void TMMCustomWaveIn::TrackWrap() {
    uint64_t samples = 0;
    if (!DevicePosition(samples)) return;
    uint64_t last = lastDevicePosition_;
    if (samples != 0 && samples + kWrapDrop <= last) {
        wrapModulus_ = last | kWrapLowBits;
        ++wrapCount_;
    }
    lastDevicePosition_ = samples;
}

void TMMCustomWaveIn::BufferReady(PWaveHdr lpWaveHdr) {
    bool limitReached = false;
    if (maxRecordTime_ > 0) {
        uint64_t left = byteLimit_ > bytesDelivered_ ? byteLimit_ - bytesDelivered_ : 0;
        if (lpWaveHdr->dwBytesRecorded >= left) {
            lpWaveHdr->dwBytesRecorded = static_cast<uint32_t>(left);
            limitReached = true;
        }
    }
    bytesDelivered_ += lpWaveHdr->dwBytesRecorded;
    currentBuffer_ = (currentBuffer_ + 1) % numBuffers_;
    TMMDSPComponent::BufferReady(lpWaveHdr);
    if (limitReached) RequestStop();
}

// The limit was reached on the capture thread; the stop itself is the UI thread's.
void TMMCustomWaveIn::RequestStop() {
    if (stopMessagePosted_.exchange(true) || !ui_) return;
    std::weak_ptr<int> alive = alive_;
    ui_->Post([this, alive] {
        if (alive.lock()) Stop();
    });
}

void TMMCustomWaveIn::CaptureFailed(std::exception_ptr error) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (failed_) return;
        failed_ = true;
        failure_ = error;
    }
    if (!ui_) return;
    std::weak_ptr<int> alive = alive_;
    ui_->Post([this, alive, error] {
        if (alive.lock()) HandleCaptureFailure(error);
        std::rethrow_exception(error);  // shown by the UI thread's standard error display
    });
}

// UI thread: stop (the recorder's OnStop closes the chain and finalises the file)
// and close what is still open, then let the error be shown.
void TMMCustomWaveIn::HandleCaptureFailure(std::exception_ptr) {
    FireError();
    try {
        Stop();
    } catch (...) {
    }
    Close();
}

// ---------------------------------------------------------------------------
// Stop

void TMMCustomWaveIn::WaitForHandlers() {
    std::unique_lock<std::mutex> guard(lock_);
    progress_.wait(guard, [this] { return handlers_ == 0; });
}

// Buffers come back through the capture thread; give up when none has come back
// for a while (a device that keeps buffers), but never while one is in the chain.
void TMMCustomWaveIn::WaitForQueuedBuffers() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        if (handlers_ == 0 && (queued_ == 0 || failed_ || !thread_)) return;
        int queued = queued_, handlers = handlers_;
        bool changed = progress_.wait_for(guard, kBufferReturnWait, [&] {
            return queued_ != queued || handlers_ != handlers || (queued_ == 0 && handlers_ == 0);
        });
        if (!changed && handlers_ == 0) return;
    }
}

void TMMCustomWaveIn::Stop() {
    if (!(state_ & (wisStarted | wisPaused))) return;
    if (insideBufferDone) {
        RequestStop();
        return;
    }
    try {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;  // from here no buffer goes back to the device
        }
        WaitForHandlers();  // the buffer in progress finishes first
        std::string failure = DeviceStop();
        if (!failure.empty()) Error(PlatformMessage("WaveInStop:", failure));
        wrapCount_ = wrapModulus_ = 0;
        resetting_ = true;
        failure = DeviceReset();
        if (!failure.empty()) Error(PlatformMessage("WaveInReset:", failure));
        WaitForQueuedBuffers();
        FinishStop();
    } catch (const EMMWaveInError&) {
        state_ &= ~(wisStarted | wisPaused);
        Close();
        throw;
    } catch (...) {
        FireError();
        state_ &= ~(wisStarted | wisPaused);
        Close();
        throw;
    }
}

void TMMCustomWaveIn::FinishStop() {
    state_ &= ~(wisStarted | wisPaused);
    currentBuffer_ = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queued_ = 0;
    }
    closeDeferred_ = false;
    Spread(Notification::Stopped);
    if (OnStop && !Destroying()) OnStop(this);
}

// ---------------------------------------------------------------------------
// Close

void TMMCustomWaveIn::CloseDevice() {
    if (!deviceHandle_) {
        state_ = wisClosed;
        return;
    }
    DeviceStop();
    DeviceReset();
    for (PWaveHdr header : buffers_) header->dwFlags = WHDR_DONE;
    std::string failure = DeviceClose();
    deviceHandle_ = false;
    state_ = wisClosed;
    lastDevicePosition_ = wrapCount_ = wrapModulus_ = 0;
    if (!failure.empty()) Error(PlatformMessage("WaveInClose:", failure));
}

void TMMCustomWaveIn::Close() {
    if (!(state_ & wisOpen)) return;
    if (closing_ && !closeDeferred_) return;
    if (insideBufferDone) {
        std::weak_ptr<int> alive = alive_;
        if (ui_)
            ui_->Post([this, alive] {
                if (alive.lock()) Close();
            });
        return;
    }
    closing_ = true;
    std::exception_ptr failure;
    try {
        if (state_ & (wisStarted | wisPaused)) Stop();
    } catch (...) {
        // Stop's failure path has closed already.
    }
    if (!(state_ & wisOpen)) {
        closing_ = false;
        return;
    }
    try {
        CloseDevice();
    } catch (...) {
        failure = std::current_exception();
    }
    // The capture thread ends before the chain closes: no buffer may be inside
    // an element while it is told Closed.
    StopCaptureThread();
    state_ = wisClosed;
    try {
        Spread(Notification::Closed);
    } catch (...) {
        FireError();
    }
    ReleaseBuffers();
    closing_ = false;
    if (OnClose && !Destroying()) {
        try {
            OnClose(this);
        } catch (...) {
        }
    }
    (void)failure;  // Close never raises; OnError has fired for it
}

// ---------------------------------------------------------------------------
// Position

int64_t TMMCustomWaveIn::Position() {
    const TWaveFormatEx* format = PWaveFormat();
    if (!(state_ & wisOpen) || !format || closeDeferred_ || format->nSamplesPerSec == 0) return 0;
    uint64_t device = 0;
    if (!DevicePosition(device)) Error(PlatformMessage("WaveInGetPosition:", ""));
    uint64_t samples = wrapCount_ * wrapModulus_ + device;
    int64_t result = 0;
    switch (timeFormat_) {
        case tfMillisecond:
            result = static_cast<int64_t>(static_cast<long double>(samples) * 1000 /
                                          format->nSamplesPerSec);
            break;
        case tfByte: {
            auto bytes = static_cast<int64_t>(static_cast<long double>(samples) *
                                              format->nAvgBytesPerSec / format->nSamplesPerSec);
            int64_t block = std::max<int64_t>(format->nBlockAlign, 1);
            result = (bytes + block - 1) / block * block;
            break;
        }
        case tfSample:
            result = static_cast<int64_t>(samples);
            break;
    }
    if (maxRecordTime_ > 0) result = std::min(result, maxRecordTime_);
    return result;
}

}  // namespace murmel
