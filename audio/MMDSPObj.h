#pragma once
// What every element of the capture chain shares: the wave format record, the
// buffer header that travels down the chain, the buffer pool and the element
// base TMMDSPComponent with its two-way links and lifecycle notifications.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "Acm.h"

namespace murmel {

// Base of every audio component's exception (EMMWaveInError, EMMConverterError, ...),
// so the capture thread can catch them at its edge.
class EMMError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------
// Wave format record: the ACM layer's WAVEFORMATEX (18 packed bytes followed by
// cbSize extra bytes), under the name the chain's components use.
using TWaveFormatEx = WAVEFORMATEX;
using PWaveFormatEx = TWaveFormatEx*;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x55;
constexpr size_t kWaveFormatHeaderSize = 18;

// An owned, zero-initialised heap copy of a format record (header + extra bytes).
struct WaveFormatFree {
    void operator()(TWaveFormatEx* format) const;
};
using WaveFormatPtr = std::unique_ptr<TWaveFormatEx, WaveFormatFree>;

// Bytes a copy of the record takes: 18 for PCM, 18 + cbSize otherwise.
size_t WaveFormatSize(const TWaveFormatEx* format);
// The extra bytes after the header (cbSize of them for non-PCM formats).
const uint8_t* WaveFormatExtra(const TWaveFormatEx* format);
// Copy rule: PCM copies 18 bytes with cbSize 0; others 18 + cbSize. Null gives null.
WaveFormatPtr CopyWaveFormat(const TWaveFormatEx* format);
// A record from raw bytes (a preset, a file's fmt chunk); null when the bytes are
// shorter than 18 or than 18 + cbSize for a non-PCM format.
WaveFormatPtr WaveFormatFromBytes(const uint8_t* bytes, size_t size);
// The record's bytes as copied (WaveFormatSize of them).
std::vector<uint8_t> WaveFormatBytes(const TWaveFormatEx* format);
// Built PCM from channels, bits and rate.
WaveFormatPtr BuildPCMFormat(int channels, int bits, uint32_t rate);
// Tag 1, 8 or 16 bits, 1 or 2 channels, 4000..100000 Hz.
bool IsValidPCMFormat(const TWaveFormatEx* format);
bool IsPCMFormat(const TWaveFormatEx* format);
// True only when both exist and tag, bits, channels or rate differ.
bool WaveFormatsDiffer(const TWaveFormatEx* a, const TWaveFormatEx* b);

// ---------------------------------------------------------------------------
// Buffer header. The Windows WAVEHDR is 32 bytes of 4-byte fields followed by a
// 28-byte extension, 60 bytes in all, data of a capture buffer at byte 60 and a
// companion header pointer at byte 40. On 64-bit Linux the pointers take 8
// bytes, so the driver-private lpNext (no driver here reads it) gives its room
// to lpData; every other field keeps a fixed 32-bit width. The result is still
// 60 bytes, the companion pointer still at 40 (8-aligned), data still at 60.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_BEGINLOOP = 0x04;
constexpr uint32_t WHDR_ENDLOOP = 0x08;
constexpr uint32_t WHDR_INQUEUE = 0x10;

#pragma pack(push, 4)
struct TWaveHdr {
    char* lpData;              // 0: the sound bytes
    uint32_t dwBufferLength;   // 8: room at lpData
    uint32_t dwBytesRecorded;  // 12: bytes of sound in it
    uint32_t dwUser;           // 16
    uint32_t dwFlags;          // 20: WHDR_*
    uint32_t dwLoops;          // 24
    uint32_t reserved;         // 28
    uint8_t extension1[8];     // 32: unused extension bytes, kept zero
    TWaveHdr* lpCompanion;     // 40: see TMMConnector::Synchronize; null for capture buffers
    uint8_t extension2[12];    // 48: unused extension bytes, kept zero
};
#pragma pack(pop)
using PWaveHdr = TWaveHdr*;
static_assert(sizeof(void*) == 8, "the buffer header layout is laid out for 64-bit pointers");
static_assert(sizeof(TWaveHdr) == 60, "buffer header is 60 bytes");
static_assert(offsetof(TWaveHdr, lpCompanion) == 40, "companion header at byte 40");
constexpr size_t kWaveHdrSize = sizeof(TWaveHdr);

// ---------------------------------------------------------------------------
// Buffer pool: blocks with their size and use count behind a lock. A request takes
// the first unused block of exactly that size, else the first unused one big
// enough, else a new zero-initialised block. Releasing only marks it unused.
class TMMAllocator {
public:
    TMMAllocator() = default;
    TMMAllocator(const TMMAllocator&) = delete;
    TMMAllocator& operator=(const TMMAllocator&) = delete;
    ~TMMAllocator();

    // Null when memory runs out.
    void* AllocBuffer(size_t size);
    void FreeBuffer(void* block);
    // Frees every block; callers make sure none is in use.
    void Discard();
    size_t BlockCount() const;

private:
    struct Block {
        uint8_t* memory;
        size_t size;
        int useCount;
    };
    mutable std::mutex lock_;
    std::vector<Block> blocks_;
};

// ---------------------------------------------------------------------------
// Enumerations shared by the wave input, the writer and the spectrum.
enum TMMMode { mMono, mStereo };
enum TMMBits { b8Bit, b16Bit };
enum TMMTimeFormat { tfMillisecond, tfByte, tfSample };

class TMMDSPComponent;
using TMMBufferEvent = std::function<void(TMMDSPComponent* sender, PWaveHdr lpWaveHdr)>;
using TMMNotifyEvent = std::function<void(TMMDSPComponent* sender)>;

constexpr int32_t kDefaultBufferSize = 2048;

// A chain element. Input/Output are two-way links (A.Output() == B exactly when
// B.Input() == A); formats flow downstream through InputFormatChanged; the
// device at the head spreads the lifecycle notifications Opened..Reset over the
// chain (see TMMCustomSoundComponent) and pushes buffers through BufferReady.
// Links, formats and notifications run on the main thread; BufferReady on the
// capture thread. The lifecycle flags are atomics because both threads read them.
class TMMDSPComponent {
public:
    explicit TMMDSPComponent(std::string name = {});
    TMMDSPComponent(const TMMDSPComponent&) = delete;
    TMMDSPComponent& operator=(const TMMDSPComponent&) = delete;
    virtual ~TMMDSPComponent();

    const std::string& Name() const { return name_; }

    // Links. Setting a link that would be a self-link or a loop does nothing.
    TMMDSPComponent* Input() const { return input_; }
    TMMDSPComponent* Output() const { return output_; }
    virtual void SetInput(TMMDSPComponent* source);
    virtual void SetOutput(TMMDSPComponent* target);
    // Name of the property in Input()/Output() that points back here.
    std::string InputBackReference() const { return input_ ? "Output" : ""; }
    std::string OutputBackReference() const { return output_ ? "Input" : ""; }

    // The element's current format, a private copy (null when none).
    const TWaveFormatEx* PWaveFormat() const { return format_.get(); }
    virtual void SetPWaveFormat(const TWaveFormatEx* format);

    int32_t BufferSize() const { return bufferSize_; }
    virtual void SetBufferSize(int32_t size);
    // Size in force while opened: BufferSize rounded down to whole blocks, at least one block.
    int32_t EffectiveBufferSize() const { return effectiveBufferSize_; }

    bool IsOpen() const { return opened_; }
    bool IsStarted() const { return started_; }
    bool IsPaused() const { return paused_; }

    // Device-driven elements (the wave input) spread notifications; others receive them.
    virtual bool IsDeviceDriven() const { return false; }

    // The owning window's loading and destroying states: a format set while
    // loading is not handed on; Loaded() sets every element's format once more.
    bool Loading() const { return loading_; }
    bool Destroying() const { return destroying_; }
    void BeginLoading() { loading_ = true; }
    virtual void Loaded();
    void BeginDestroying() { destroying_ = true; }

    TMMBufferEvent OnBufferReady;

    // --- notifications ---
    // Adopt the input's format (through InputFormatChanged).
    virtual void UpdateFormat();
    // Announced to every element after any link change.
    virtual void LinkChanged(TMMDSPComponent* changed, bool inputLink);
    // The input's format changed; the default takes it as the own format.
    virtual void InputFormatChanged(const TWaveFormatEx* format);
    virtual void Opened();
    virtual void Closed();
    virtual void Started();
    virtual void Paused();
    virtual void Restarted();
    virtual void Stopped();
    virtual void Reset();
    // Capture thread: fires OnBufferReady, then hands the header to Output.
    virtual void BufferReady(PWaveHdr lpWaveHdr);
    // Pull mode (unused by the recorder): asks Input for data.
    virtual void BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers);
    virtual bool CanConnectInput(TMMDSPComponent* source) const;
    virtual bool CanConnectOutput(TMMDSPComponent* target) const;

    // Every element alive in the process, in construction order (main thread only).
    static std::vector<TMMDSPComponent*> Elements();

protected:
    // The default format setter: replaces the private copy (telling the element
    // Stopped first if started) and, unless loading, hands it to Output.
    void AssignWaveFormat(const TWaveFormatEx* format);
    // Output.BufferReady, if there is an output.
    void DeliverBuffer(PWaveHdr lpWaveHdr);
    void SetOpenedFlag(bool value) { opened_ = value; }
    void SetStartedFlag(bool value) { started_ = value; }
    void SetPausedFlag(bool value) { paused_ = value; }

private:
    static void Connect(TMMDSPComponent* source, TMMDSPComponent* target);
    static void Disconnect(TMMDSPComponent* target);
    static void AnnounceLinkChange(TMMDSPComponent* changed, bool inputLink);

    std::string name_;
    TMMDSPComponent* input_ = nullptr;
    TMMDSPComponent* output_ = nullptr;
    WaveFormatPtr format_;
    int32_t bufferSize_ = kDefaultBufferSize;
    int32_t effectiveBufferSize_ = kDefaultBufferSize;
    std::atomic<bool> opened_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> paused_{false};
    bool loading_ = false;
    bool destroying_ = false;
};

}  // namespace murmel
