// Device fragments of any size, holes among them, and odd buffer sizes: every
// byte the device delivers reaches the chain once, in order, in whole buffers but
// the last (which the stop hands back). Runs the wave input with callbacks on the
// calling thread, so a run is deterministic.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MMWavIn.h"

namespace {

using namespace murmel;

struct Sink : TMMDSPComponent {
    std::string bytes;
    int32_t bufferSize = 0;
    bool shortSeen = false;
    Sink() : TMMDSPComponent("Sink") {}
    void BufferReady(PWaveHdr header) override {
        if (shortSeen || header->dwBytesRecorded > uint32_t(bufferSize)) std::abort();
        if (header->dwBytesRecorded < uint32_t(bufferSize)) shortSeen = true;  // only the last
        bytes.append(header->lpData, header->dwBytesRecorded);
    }
};

struct Device : CaptureDevice {
    CaptureClient* client = nullptr;
    bool Probe() override { return true; }
    std::string ProductName() const override { return "Fuzz"; }
    bool CanRecord(const CaptureFormat&) const override { return true; }
    void Open(const CaptureFormat&, CaptureClient* c) override { client = c; }
    void Start() override {}
    void Stop() override {}
    uint64_t Position() override { return 0; }
    void Close() override { client = nullptr; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    auto device = std::make_unique<Device>();
    Device* raw = device.get();
    Sink sink;
    TMMWaveIn waveIn("WaveIn", std::move(device));
    waveIn.SetCallBackMode(cmCallback);
    waveIn.SetMode(mStereo);
    waveIn.SetBitLength(b16Bit);
    waveIn.SetSampleRate(44100);
    waveIn.SetBufferSize(32 + data[0] * 8);
    waveIn.SetNumBuffers(2 + data[1] % 8);
    sink.bufferSize = waveIn.BufferSize();
    waveIn.SetOutput(&sink);
    waveIn.Start();
    std::string expected;
    // Each step: one control byte (bit 7: a hole; low bits: length), then the bytes.
    for (size_t at = 2; at < size;) {
        uint8_t control = data[at++];
        size_t length = (control & 0x7F) * 7u + 1;
        // What finds no queued buffer is an overrun and is dropped: a fragment
        // bigger than all buffers together loses its tail.
        if (control & 0x80) {
            size_t taken = raw->client->CaptureData(nullptr, length);
            if (taken > length) std::abort();
            expected.append(taken, '\0');
            continue;
        }
        length = std::min(length, size - at);
        size_t taken = raw->client->CaptureData(data + at, length);
        if (taken > length) std::abort();
        expected.append(reinterpret_cast<const char*>(data + at), taken);
        at += length;
    }
    waveIn.Stop();
    waveIn.Close();
    if (sink.bytes != expected) std::abort();
    return 0;
}
