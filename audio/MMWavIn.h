#pragma once
// The wave input: the head of the capture chain. It opens the capture device and
// the chain, pushes every filled buffer down the chain on its capture thread, and
// stops and closes both. Open, Start, Stop, Close and Position belong to the main
// (UI) thread; the capture thread never waits for it, and reports a failure by
// posting to it (SetUIThread).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureDevice.h"
#include "MMDSPObj.h"
#include "UIThreadPost.h"

namespace murmel {

class EMMWaveInError : public EMMError {
public:
    using EMMError::EMMError;
};

enum TMMCallBackMode { cmWindow, cmCallback, cmThread };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A device-driven element: spreads the lifecycle notifications over its chain,
// from the head downstream, passing itself over, then changes its own state.
class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool IsDeviceDriven() const override { return true; }

    virtual void SetNumBuffers(int count) = 0;
    virtual int NumBuffers() const = 0;
    virtual void SetDeviceID(int id) = 0;
    virtual int DeviceID() const = 0;
    virtual void SetProductName(const std::string& name) = 0;
    virtual std::string ProductName() const = 0;
    virtual void SetCallBackMode(TMMCallBackMode mode) = 0;
    virtual TMMCallBackMode CallBackMode() const = 0;

protected:
    enum class Notification { Opened, Closed, Started, Paused, Restarted, Stopped, Reset };
    // Every element reached gets the notification even when one of them throws;
    // the first exception is raised afterwards (a failing element must not keep
    // the file writer from finalising).
    void Spread(Notification notification);

private:
    static void Deliver(TMMDSPComponent* element, Notification notification);
    void DeliverOwn(Notification notification);
};

class TMMWaveInThread;

// Device state bits.
constexpr uint32_t wisClosed = 1, wisOpen = 2, wisStarted = 4, wisPaused = 8;
constexpr int kMaxWaveInBuffers = 500;

class TMMCustomWaveIn : public TMMCustomSoundComponent {
public:
    explicit TMMCustomWaveIn(std::string name);
    ~TMMCustomWaveIn() override;

    // --- properties ---
    void SetDeviceID(int id) override;
    int DeviceID() const override;
    void SetProductName(const std::string&) override {}
    std::string ProductName() const override;
    void SetCallBackMode(TMMCallBackMode mode) override;
    TMMCallBackMode CallBackMode() const override { return callBackMode_; }
    void SetNumBuffers(int count) override;
    int NumBuffers() const override { return numBuffers_; }
    void SetMode(TMMMode mode);
    TMMMode Mode() const { return mode_; }
    void SetBitLength(TMMBits bits);
    TMMBits BitLength() const { return bitLength_; }
    void SetSampleRate(int rate);
    int SampleRate() const { return sampleRate_; }
    void SetBufferSize(int32_t size) override;
    void SetTimeFormat(TMMTimeFormat format) { timeFormat_ = format; }
    TMMTimeFormat TimeFormat() const { return timeFormat_; }
    void SetMaxRecordTime(int64_t limit) { maxRecordTime_ = limit; }
    int64_t MaxRecordTime() const { return maxRecordTime_; }
    // Kept for the callers that set it; an unprivileged Linux process cannot raise
    // its threads above normal priority, so the capture thread runs at normal.
    void SetPriority(TThreadPriority priority) { priority_ = priority; }
    TThreadPriority Priority() const { return priority_; }
    // Closes the device first; a valid PCM format gives its rate, bits and channels.
    void SetPWaveFormat(const TWaveFormatEx* format) override;

    TMMNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

    // Where the capture thread posts what the UI thread must do (a failure, a
    // reached MaxRecordTime). Without one, a failure is only kept (CaptureFailure).
    void SetUIThread(UIThreadPost* ui) { ui_ = ui; }

    // The recorder's settings: 44.1 kHz stereo 16-bit on the capture thread,
    // positions in milliseconds, failures posted to `ui`.
    void UseRecorderSettings(UIThreadPost* ui) {
        SetCallBackMode(cmThread);
        SetMode(mStereo);
        SetBitLength(b16Bit);
        SetSampleRate(44100);
        SetTimeFormat(tfMillisecond);
        SetUIThread(ui);
    }
    std::exception_ptr CaptureFailure() const;

    // --- operations (main thread) ---
    void Open();
    void Start();
    void Pause();
    void Restart();
    // Waits for the buffer the capture thread is working on, lets the device hand
    // back its buffers, tells the chain Stopped and fires OnStop, all before it returns.
    void Stop();
    // Never raises.
    void Close();
    // In TimeFormat units from the device clock; 0 when not open.
    int64_t Position();
    // Position when Start or Restart last set the device going: what a device hands
    // over while they still run (a lump of seconds from some) belongs to the recording.
    int64_t StartPosition() const { return startPosition_; }
    uint32_t State() const { return state_; }

    // Fires OnError and raises EMMWaveInError with the message.
    [[noreturn]] virtual void Error(const std::string& message);
    // "PREFIX" LF CR "text"; an empty text becomes the unknown-error text.
    static std::string PlatformMessage(const std::string& prefix, const std::string& text);

    // Capture thread: the wave input's share of a buffer (count, limit, hand on).
    void BufferReady(PWaveHdr lpWaveHdr) override;

protected:
    // The device binding (the platform's waveIn functions). Functions returning
    // text return "" on success, else the device's description of the failure.
    virtual void InitDeviceApi() = 0;
    virtual int DeviceCount() = 0;
    virtual std::string DeviceName() = 0;
    virtual bool DeviceCanRecord(const TWaveFormatEx& format) = 0;
    virtual std::string DeviceOpen(const TWaveFormatEx& format) = 0;
    virtual std::string DeviceAddBuffer(PWaveHdr header) = 0;
    virtual std::string DeviceStart() = 0;
    // Stops recording; a partly filled buffer comes back (BufferFilled) with its data.
    virtual std::string DeviceStop() = 0;
    // Hands back every queued buffer (BufferFilled with fromReset).
    virtual std::string DeviceReset() = 0;
    virtual std::string DeviceClose() = 0;
    // Samples captured since DeviceOpen; false when the device cannot tell.
    virtual bool DevicePosition(uint64_t& samples) = 0;

    // Asks the binding for its devices (at construction and at every Open).
    void CountDevices();
    // A failure on the capture thread or the device's own: the UI thread stops and
    // closes the chain, then shows the error. Any thread; reported once.
    void CaptureFailed(std::exception_ptr error);
    // Device thread: a buffer is done. Never throws.
    void BufferFilled(PWaveHdr header, bool fromReset);

private:
    friend class TMMWaveInThread;
    void BufferDone(PWaveHdr header, bool fromReset);  // capture thread
    void HandleCaptureFailure(std::exception_ptr error);
    void RequestStop();
    void TrackWrap();
    void Requeue(PWaveHdr header);
    void RebuildFormat();
    void CheckClosed();
    void FireError();
    bool CanRecordFormat(int id, const TWaveFormatEx* format);
    void StartCaptureThread();
    void StopCaptureThread();
    void AllocateBuffers();
    void ReleaseBuffers();
    void WaitForHandlers();
    void WaitForQueuedBuffers();
    void FinishStop();
    void CloseDevice();

    // properties
    int deviceId_ = 0;
    TMMCallBackMode callBackMode_ = cmWindow;
    TMMMode mode_ = mMono;
    TMMBits bitLength_ = b8Bit;
    int sampleRate_ = 11025;
    int numBuffers_ = 10;
    TMMTimeFormat timeFormat_ = tfByte;
    int64_t maxRecordTime_ = -1;
    int64_t startPosition_ = 0;
    TThreadPriority priority_ = tpHigher;
    UIThreadPost* ui_ = nullptr;

    // device state
    std::atomic<uint32_t> state_{wisClosed};
    bool deviceHandle_ = false;
    int deviceCount_ = 0;
    std::string productName_ = "No wave audio recording device found";
    std::vector<PWaveHdr> buffers_;
    TMMAllocator allocator_;
    std::unique_ptr<TMMWaveInThread> thread_;

    // stop protocol: the wave input's lock guards these counts
    mutable std::mutex lock_;
    std::condition_variable progress_;
    int queued_ = 0;
    int handlers_ = 0;
    std::atomic<bool> stopping_{false}, closing_{false}, resetting_{false};
    std::atomic<bool> closeDeferred_{false}, stopMessagePosted_{false}, failed_{false};
    std::exception_ptr failure_;

    // capture thread's counters
    uint64_t bytesDelivered_ = 0;
    uint64_t byteLimit_ = UINT32_MAX;
    int currentBuffer_ = 0;
    std::atomic<uint64_t> lastDevicePosition_{0}, wrapCount_{0}, wrapModulus_{0};

    // Lets tasks posted to the UI thread find out whether we still exist.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// What the device thread measured of the input since the last look.
struct TMMInputLevel {
    int peak = 0;          // the loudest sample's magnitude, 0..32768 (8-bit samples scaled)
    int fullScaleRun = 0;  // the longest run of samples at full scale, in samples
};

// The wave input on a capture device chosen by MURMEL_CAPTURE (or given).
class TMMWaveIn : public TMMCustomWaveIn, private CaptureClient {
public:
    explicit TMMWaveIn(std::string name = "WaveIn");
    TMMWaveIn(std::string name, std::unique_ptr<CaptureDevice> device);
    ~TMMWaveIn() override;

    // A finite source (a file) has delivered everything it holds.
    bool SourceExhausted() const { return device_->Exhausted(); }
    // Replaces the capture device while the input is closed (the choice of the
    // microphone); the next Open probes it.
    void SetDevice(std::unique_ptr<CaptureDevice> device);
    // The level since the last call; starts again from nothing. Any thread.
    TMMInputLevel TakeInputLevel();

protected:
    void InitDeviceApi() override;
    int DeviceCount() override { return present_ ? 1 : 0; }
    std::string DeviceName() override { return productName_; }
    bool DeviceCanRecord(const TWaveFormatEx& format) override;
    std::string DeviceOpen(const TWaveFormatEx& format) override;
    std::string DeviceAddBuffer(PWaveHdr header) override;
    std::string DeviceStart() override;
    std::string DeviceStop() override;
    std::string DeviceReset() override;
    std::string DeviceClose() override;
    bool DevicePosition(uint64_t& samples) override;

private:
    size_t CaptureData(const uint8_t* bytes, size_t size) override;
    void DeviceFailed(const std::string& reason) override;
    // Hands back the queued buffers: all, or only a front one holding data.
    void ReturnBuffers(bool all);
    // Device thread, without allocating: the peak and the full-scale runs.
    void MeasureLevel(const uint8_t* bytes, size_t size);

    std::unique_ptr<CaptureDevice> device_;
    bool present_ = false;
    std::string productName_;
    uint8_t silence_ = 0;
    uint16_t bits_ = 16;
    int fullScaleRun_ = 0;  // device thread: the run still going at the last fragment's end
    std::atomic<int> peak_{0}, longestFullScaleRun_{0};
    std::mutex queueLock_;
    std::vector<PWaveHdr> queue_;  // ring of kMaxWaveInBuffers + 1 slots
    size_t queueHead_ = 0, queueCount_ = 0;
};

}  // namespace murmel
