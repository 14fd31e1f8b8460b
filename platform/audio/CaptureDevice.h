#pragma once
// A capture device: delivers recorded PCM bytes, in order, on a thread of its own.
// Backends: PulseAudio (PulseCapture.cpp), a WAV file (FileCapture.cpp), a tone
// (ToneCapture.cpp) and silence (NullCapture.cpp); MURMEL_CAPTURE picks one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace murmel {

// Interleaved little-endian PCM: 8-bit unsigned or 16-bit signed samples.
struct CaptureFormat {
    uint32_t rate = 44100;
    uint16_t channels = 2;
    uint16_t bits = 16;
    size_t FrameBytes() const { return size_t(channels) * bits / 8; }
};

// A failed device call; the text describes why (the caller adds its own prefix).
class CaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CaptureClient {
public:
    virtual ~CaptureClient() = default;
    // Device thread. bytes == nullptr stands for `size` bytes of silence (a hole in
    // the stream). Returns how many bytes were taken; a live device drops the rest
    // (an overrun), a fast file source offers them again.
    virtual size_t CaptureData(const uint8_t* bytes, size_t size) = 0;
    // Device thread. The device has failed while open (the sound server stopped or
    // restarted, the stream died, nothing arrived for seconds): no more data comes.
    // Reported once; `reason` is a sentence for the user.
    virtual void DeviceFailed(const std::string& /*reason*/) {}
};

class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;
    // Looks for the device now; false when there is none to record from.
    virtual bool Probe() = 0;
    // The device's name for the user (valid after a successful Probe).
    virtual std::string ProductName() const = 0;
    virtual bool CanRecord(const CaptureFormat& format) const = 0;
    // Opens the device, not yet recording. Throws CaptureError.
    virtual void Open(const CaptureFormat& format, CaptureClient* client) = 0;
    // Starts or resumes delivery. Throws CaptureError.
    virtual void Start() = 0;
    // Ends delivery: once it returns, the client gets no more data.
    virtual void Stop() = 0;
    // Frames the device has captured since Open (its own clock).
    virtual uint64_t Position() = 0;
    // Releases the device; never throws.
    virtual void Close() = 0;
    // True once a finite source (a file) has delivered all it holds.
    virtual bool Exhausted() const { return false; }
};

// Chooses by MURMEL_CAPTURE: "pulse" (default), "pulse:SOURCE", "file:PATH"
// (real-time pace), "file-fast:PATH", "tone:HZ", "null". An unknown value gives
// a device that is never present.
std::unique_ptr<CaptureDevice> CaptureDeviceFromEnvironment();
std::unique_ptr<CaptureDevice> CaptureDeviceFromSpec(const std::string& spec);

// A source of the sound server that can be recorded from.
struct CaptureSource {
    std::string name;         // the server's name: what the settings keep, as in "pulse:NAME"
    std::string description;  // what the user sees
    bool monitor = false;     // listens to an output rather than to an input
};

// The sound server's sources: inputs first, then the monitors of outputs, each in
// the server's order. Waits a few seconds at most (a hung server); empty when
// there is no server.
std::vector<CaptureSource> ListCaptureSources();

// Whether MURMEL_CAPTURE names a device; it then wins over the chosen microphone.
bool CaptureChosenByEnvironment();
// The device to record from when the user chose the source `source` (empty: the
// sound server's default): MURMEL_CAPTURE's device when it is set.
std::unique_ptr<CaptureDevice> CaptureDeviceForSource(const std::string& source);

std::unique_ptr<CaptureDevice> MakePulseCapture(const std::string& sourceName);
std::unique_ptr<CaptureDevice> MakeFileCapture(const std::string& path, bool realTime);
std::unique_ptr<CaptureDevice> MakeToneCapture(double frequency);
std::unique_ptr<CaptureDevice> MakeNullCapture();

}  // namespace murmel
