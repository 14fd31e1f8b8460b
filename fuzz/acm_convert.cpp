// Any input format and any preset record (as read from the presets store) through
// the ACM converter: recompute, open, convert, drain at the stop, close.
// Input: 18-byte source header, 1 byte of flags, 2-byte preset length, the preset
// record, then the PCM to push.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "MMACMCvt.h"

using namespace murmel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kPrefix = 18 + 1 + 2;
    if (size < kPrefix) return 0;
    TWaveFormatEx source;
    std::memcpy(&source, data, 18);
    source.cbSize = 0;  // a source copy carries no extra bytes it does not have
    const uint8_t flags = data[18];
    size_t presetSize =
        std::min<size_t>(data[19] | (data[20] << 8), std::min<size_t>(size - kPrefix, 1024));
    const uint8_t* preset = data + kPrefix;
    const uint8_t* pcm = preset + presetSize;
    size_t pcmSize = size - kPrefix - presetSize;

    // Keep the fuzzer fast: rates far beyond audio only make huge buffers.
    if (source.nSamplesPerSec > 200000) return 0;
    WaveFormatPtr target = WaveFormatFromBytes(preset, presetSize);
    if (target && target->nSamplesPerSec > 200000) return 0;

    TMMDSPComponent head("Source");
    TMMACMConverter converter;
    TMMDSPComponent tail("Sink");
    converter.SetQuality(flags & 1 ? TMMACMQuality::cqHigh : TMMACMQuality::cqLow);
    converter.SetEnabled(!(flags & 2));
    head.SetOutput(&converter);
    converter.SetOutput(&tail);
    head.SetPWaveFormat(&source);
    converter.SetPWaveFormat(target.get());
    try {
        converter.SetBufferSize(2048);
        converter.Opened();
        tail.Opened();
        converter.Started();
        tail.Started();
        std::vector<char> buffer(2048);
        size_t piece =
            std::min<size_t>(1 + (flags >> 2) * 64, 2048);  // capture buffers of 1..2048 bytes
        for (size_t offset = 0; offset < pcmSize; offset += piece) {
            size_t count = std::min(piece, pcmSize - offset);
            std::memcpy(buffer.data(), pcm + offset, count);
            TWaveHdr header{};
            header.lpData = buffer.data();
            header.dwBufferLength = 2048;
            header.dwBytesRecorded = static_cast<uint32_t>(count);
            converter.BufferReady(&header);
        }
    } catch (const EMMConverterError&) {
    }
    converter.Stopped();
    converter.Closed();
    return 0;
}
