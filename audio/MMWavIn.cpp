#include "MMWavIn.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace murmel {

// ---------------------------------------------------------------------------
// Spreading notifications

void TMMCustomSoundComponent::Deliver(TMMDSPComponent* element, Notification notification) {
    switch (notification) {
        case Notification::Opened:
            element->Opened();
            break;
        case Notification::Closed:
            element->Closed();
            break;
        case Notification::Started:
            element->Started();
            break;
        case Notification::Paused:
            element->Paused();
            break;
        case Notification::Restarted:
            element->Restarted();
            break;
        case Notification::Stopped:
            element->Stopped();
            break;
        case Notification::Reset:
            element->Reset();
            break;
    }
}

void TMMCustomSoundComponent::DeliverOwn(Notification notification) {
    switch (notification) {
        case Notification::Opened:
            TMMDSPComponent::Opened();
            break;
        case Notification::Closed:
            TMMDSPComponent::Closed();
            break;
        case Notification::Started:
            TMMDSPComponent::Started();
            break;
        case Notification::Paused:
            TMMDSPComponent::Paused();
            break;
        case Notification::Restarted:
            TMMDSPComponent::Restarted();
            break;
        case Notification::Stopped:
            TMMDSPComponent::Stopped();
            break;
        case Notification::Reset:
            TMMDSPComponent::Reset();
            break;
    }
}

void TMMCustomSoundComponent::Spread(Notification notification) {
    std::exception_ptr first;
    auto guarded = [&](auto&& action) {
        try {
            action();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    };
    // The head: the first element upstream without an input, unless another
    // device lies upstream; then the walk starts here.
    TMMDSPComponent* head = this;
    for (TMMDSPComponent* up = Input(); up; up = up->Input()) {
        if (up->IsDeviceDriven()) {
            head = this;
            break;
        }
        head = up;
    }
    TMMDSPComponent* nextDevice = nullptr;
    for (TMMDSPComponent* down = Output(); down; down = down->Output())
        if (down->IsDeviceDriven()) {
            nextDevice = down;
            break;
        }
    bool deviceFirst =
        notification == Notification::Closed || notification == Notification::Stopped;
    if (deviceFirst && nextDevice) guarded([&] { Deliver(nextDevice, notification); });
    for (TMMDSPComponent* element = head; element; element = element->Output()) {
        if (element == this) continue;
        if (element->IsDeviceDriven()) {
            if (!deviceFirst) guarded([&] { Deliver(element, notification); });
            break;
        }
        guarded([&] {
            if (notification == Notification::Opened) element->SetBufferSize(BufferSize());
            Deliver(element, notification);
        });
    }
    DeliverOwn(notification);
    if (first) std::rethrow_exception(first);
}

// ---------------------------------------------------------------------------
// The capture thread: runs BufferDone for every buffer the device hands back, in
// order. Its queue is a fixed ring (each buffer is in it at most once), so
// posting never allocates.

class TMMWaveInThread {
public:
    explicit TMMWaveInThread(TMMCustomWaveIn& owner)
        : owner_(owner), ring_(kMaxWaveInBuffers + 1) {}
    ~TMMWaveInThread() { Terminate(); }

    // False when the thread could not be made or did not answer in time.
    bool Start() {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
        std::unique_lock<std::mutex> guard(lock_);
        return wake_.wait_for(guard, std::chrono::milliseconds(5000), [this] { return ready_; });
    }

    void Post(PWaveHdr header, bool fromReset) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (count_ == ring_.size()) return;  // cannot happen: at most NumBuffers are out
            ring_[(head_ + count_) % ring_.size()] = {header, fromReset};
            ++count_;
        }
        wake_.notify_all();
    }

    // Ends the loop; messages still queued are dropped.
    void Terminate() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            terminate_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

private:
    struct Message {
        PWaveHdr header = nullptr;
        bool fromReset = false;
    };

    void Run() {
        std::unique_lock<std::mutex> guard(lock_);
        ready_ = true;
        wake_.notify_all();
        for (;;) {
            wake_.wait(guard, [this] { return terminate_ || count_ > 0; });
            if (terminate_) return;
            Message message = ring_[head_];
            head_ = (head_ + 1) % ring_.size();
            --count_;
            guard.unlock();
            // No exception leaves this thread: a failure goes to the UI thread.
            try {
                owner_.BufferDone(message.header, message.fromReset);
            } catch (...) {
                owner_.CaptureFailed(std::current_exception());
            }
            guard.lock();
        }
    }

    TMMCustomWaveIn& owner_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::vector<Message> ring_;
    size_t head_ = 0, count_ = 0;
    bool ready_ = false, terminate_ = false;
};

void TMMCustomWaveIn::BufferFilled(PWaveHdr header, bool fromReset) {
    if (callBackMode_ != cmCallback) {
        if (thread_) thread_->Post(header, fromReset);
        return;
    }
    try {
        BufferDone(header, fromReset);
    } catch (...) {
        CaptureFailed(std::current_exception());
    }
}

// ---------------------------------------------------------------------------
// Properties

namespace {

constexpr int kInvalidDevice = -2;

const char* const kChangeWhileOpen = "Change to property while device was open";

}  // namespace

TMMCustomWaveIn::TMMCustomWaveIn(std::string name) : TMMCustomSoundComponent(std::move(name)) {
    RebuildFormat();
}

TMMCustomWaveIn::~TMMCustomWaveIn() { allocator_.Discard(); }

void TMMCustomWaveIn::CheckClosed() {
    if (state_ & wisOpen) Error(kChangeWhileOpen);
}

void TMMCustomWaveIn::SetDeviceID(int id) {
    CheckClosed();
    deviceId_ = id;
}

int TMMCustomWaveIn::DeviceID() const {
    return deviceCount_ > 0 && deviceId_ >= -1 && deviceId_ < deviceCount_ ? deviceId_
                                                                           : kInvalidDevice;
}

std::string TMMCustomWaveIn::ProductName() const { return productName_; }

void TMMCustomWaveIn::CountDevices() {
    InitDeviceApi();
    deviceCount_ = DeviceCount();
    productName_ = deviceCount_ > 0 ? DeviceName() : "No wave audio recording device found";
}

void TMMCustomWaveIn::SetCallBackMode(TMMCallBackMode mode) {
    CheckClosed();
    callBackMode_ = mode;
}

void TMMCustomWaveIn::SetNumBuffers(int count) {
    CheckClosed();
    if (count >= 2) numBuffers_ = std::min(count, kMaxWaveInBuffers);
}

void TMMCustomWaveIn::SetMode(TMMMode mode) {
    CheckClosed();
    mode_ = mode;
    RebuildFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits bits) {
    CheckClosed();
    bitLength_ = bits;
    RebuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int rate) {
    CheckClosed();
    sampleRate_ = std::clamp(rate, 8000, 100000);
    RebuildFormat();
}

void TMMCustomWaveIn::SetBufferSize(int32_t size) {
    CheckClosed();
    size = std::max<int32_t>(size, 32);
    if (size != BufferSize()) allocator_.Discard();
    TMMDSPComponent::SetBufferSize(size);
}

void TMMCustomWaveIn::RebuildFormat() {
    WaveFormatPtr format = BuildPCMFormat(mode_ == mStereo ? 2 : 1, bitLength_ == b16Bit ? 16 : 8,
                                          static_cast<uint32_t>(sampleRate_));
    AssignWaveFormat(format.get());
}

void TMMCustomWaveIn::SetPWaveFormat(const TWaveFormatEx* format) {
    Close();
    if (IsValidPCMFormat(format)) {
        mode_ = format->nChannels == 2 ? mStereo : mMono;
        bitLength_ = format->wBitsPerSample == 16 ? b16Bit : b8Bit;
        sampleRate_ = static_cast<int>(format->nSamplesPerSec);
    }
    AssignWaveFormat(format);
}

std::exception_ptr TMMCustomWaveIn::CaptureFailure() const {
    std::lock_guard<std::mutex> guard(lock_);
    return failure_;
}

// ---------------------------------------------------------------------------
// Errors

std::string TMMCustomWaveIn::PlatformMessage(const std::string& prefix, const std::string& text) {
    std::string description = text.empty()
                                  ? "Specified error number is out of range (unknown error)"
                                  : text.substr(0, 255);
    return prefix + "\n\r" + description;
}

void TMMCustomWaveIn::FireError() {
    if (OnError) OnError(this);
}

void TMMCustomWaveIn::Error(const std::string& message) {
    FireError();
    throw EMMWaveInError(message);
}

// ---------------------------------------------------------------------------
// Open

bool TMMCustomWaveIn::CanRecordFormat(int id, const TWaveFormatEx* format) {
    if (!format || id < -1 || id >= DeviceCount()) return false;
    return DeviceCanRecord(*format);
}

void TMMCustomWaveIn::StartCaptureThread() {
    thread_ = std::make_unique<TMMWaveInThread>(*this);
    if (!thread_->Start()) {
        thread_.reset();
        Error(PlatformMessage("WaveIn:", "Could not create thread"));
    }
}

void TMMCustomWaveIn::StopCaptureThread() {
    if (thread_) thread_->Terminate();
    thread_.reset();
}

void TMMCustomWaveIn::AllocateBuffers() {
    buffers_.clear();
    for (int i = 0; i < numBuffers_; ++i) {
        void* block = allocator_.AllocBuffer(kWaveHdrSize + size_t(BufferSize()));
        if (!block) Error("Unable to allocate memory for wave header");
        auto* header = static_cast<PWaveHdr>(block);
        *header = TWaveHdr{};
        header->lpData = static_cast<char*>(block) + kWaveHdrSize;
        header->dwBufferLength = static_cast<uint32_t>(BufferSize());
        header->dwFlags = WHDR_PREPARED;
        buffers_.push_back(header);
    }
}

void TMMCustomWaveIn::ReleaseBuffers() {
    for (PWaveHdr header : buffers_) allocator_.FreeBuffer(header);
    buffers_.clear();
}

void TMMCustomWaveIn::Open() {
    CountDevices();
    if (deviceCount_ == 0) Error("No wave audio recording device found");
    if (DeviceID() == kInvalidDevice) Error("Invalid DeviceID");
    if (!PWaveFormat()) Error("Invalid wave format");
    if (state_ & wisOpen) Close();
    if ((state_ & wisOpen) || closing_) return;
    closing_ = resetting_ = stopping_ = stopMessagePosted_ = false;
    try {
        if (!CanRecordFormat(DeviceID(), PWaveFormat()))
            Error(PlatformMessage("WaveInOpen:", "The actual device can''t record this format"));
        deviceHandle_ = false;
        closeDeferred_ = false;
        failed_ = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            failure_ = nullptr;
            queued_ = handlers_ = 0;
        }
        if (callBackMode_ != cmCallback) StartCaptureThread();
        std::string failure = DeviceOpen(*PWaveFormat());
        if (!failure.empty()) Error(PlatformMessage("WaveInOpen:", failure));
        deviceHandle_ = true;
        lastDevicePosition_ = wrapCount_ = wrapModulus_ = 0;
        state_ = wisClosed;  // the chain opens while the device counts as closed
        Spread(Notification::Opened);
        state_ = wisOpen;
        AllocateBuffers();
        if (OnOpen) OnOpen(this);
    } catch (const EMMWaveInError&) {
        state_ = wisOpen;
        Close();
        state_ = wisClosed;
        throw;
    } catch (...) {
        FireError();
        state_ = wisOpen;
        Close();
        state_ = wisClosed;
        throw;
    }
}

// ---------------------------------------------------------------------------
// Start

void TMMCustomWaveIn::Start() {
    if (!(state_ & wisOpen)) Open();
    if (!(state_ & wisOpen) || (state_ & wisStarted)) return;
    bytesDelivered_ = 0;
    currentBuffer_ = 0;
    stopping_ = resetting_ = closeDeferred_ = stopMessagePosted_ = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handlers_ = queued_ = 0;
    }
    lastDevicePosition_ = wrapCount_ = wrapModulus_ = 0;
    const TWaveFormatEx* format = PWaveFormat();
    byteLimit_ = UINT32_MAX;
    if (maxRecordTime_ > 0) {
        uint64_t limit = static_cast<uint64_t>(maxRecordTime_);
        if (timeFormat_ == tfMillisecond) limit = limit * format->nAvgBytesPerSec / 1000;
        if (timeFormat_ == tfSample) limit *= format->nBlockAlign;
        byteLimit_ = limit - limit % std::max<uint16_t>(format->nBlockAlign, 1);
    }
    try {
        for (PWaveHdr header : buffers_) {
            header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
            header->dwBytesRecorded = 0;
            {
                std::lock_guard<std::mutex> guard(lock_);
                ++queued_;
            }
            std::string failure = DeviceAddBuffer(header);
            if (!failure.empty()) Error(PlatformMessage("WaveInAddBuffer:", failure));
        }
        state_ |= wisStarted;
        // The chain is started before the device delivers: a buffer that came
        // first would pass elements not yet started and be lost to the file.
        Spread(Notification::Started);
        startPosition_ = Position();
        if (!(state_ & wisPaused)) {
            std::string failure = DeviceStart();
            if (!failure.empty()) Error(PlatformMessage("WaveInStart:", failure));
        }
        if (OnStart) OnStart(this);
    } catch (const EMMWaveInError&) {
        state_ |= wisStarted;
        Close();
        state_ = wisClosed;
        throw;
    } catch (...) {
        FireError();
        state_ |= wisStarted;
        Close();
        state_ = wisClosed;
        throw;
    }
}

void TMMCustomWaveIn::Pause() {
    if (!(state_ & wisStarted) || (state_ & wisPaused)) return;
    std::string failure = DeviceStop();
    if (!failure.empty()) Error(PlatformMessage("WaveInStop:", failure));
    state_ |= wisPaused;
    Spread(Notification::Paused);
    if (OnPause) OnPause(this);
}

void TMMCustomWaveIn::Restart() {
    if (!(state_ & wisPaused)) return;
    startPosition_ = Position();
    std::string failure = DeviceStart();
    if (!failure.empty()) Error(PlatformMessage("WaveInStart:", failure));
    state_ &= ~wisPaused;
    Spread(Notification::Restarted);
    if (OnRestart) OnRestart(this);
}

}  // namespace murmel
