#include "RiffReader.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace murmel {
namespace {

constexpr size_t kHeaderBytes = 12;      // "RIFF", size, "WAVE"
constexpr size_t kChunkHeaderBytes = 8;  // id, size
constexpr size_t kFormatBytes = 16;      // the format record up to wBitsPerSample

uint32_t Little(const uint8_t* at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

bool IdIs(const uint8_t* at, const char* id) { return std::memcmp(at, id, 4) == 0; }

void ReadFormat(const uint8_t* body, RiffWave& wave) {
    wave.formatTag = static_cast<uint16_t>(Little(body, 2));
    wave.channels = static_cast<uint16_t>(Little(body + 2, 2));
    wave.samplesPerSec = Little(body + 4, 4);
    wave.avgBytesPerSec = Little(body + 8, 4);
    wave.blockAlign = static_cast<uint16_t>(Little(body + 12, 2));
    wave.bitsPerSample = static_cast<uint16_t>(Little(body + 14, 2));
}

}  // namespace

void CheckPlausibleFormat(uint16_t formatTag, uint16_t channels, uint32_t samplesPerSec,
                          uint16_t blockAlign, uint16_t bitsPerSample) {
    if (samplesPerSec < kMinSampleRate || samplesPerSec > kMaxSampleRate)
        throw EImplausibleFormat("Unsupported sample rate " + std::to_string(samplesPerSec) +
                         " Hz (8000 to 192000 Hz are played)");
    if (channels < 1 || channels > kMaxChannels)
        throw EImplausibleFormat("Unsupported channel count " + std::to_string(channels) +
                         " (1 or 2 are played)");
    const bool pcm = formatTag == RiffWave::kPcm || formatTag == RiffWave::kFloat;
    const bool pcmBits = formatTag == RiffWave::kFloat
                             ? bitsPerSample == 32
                             : bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 ||
                                   bitsPerSample == 32;
    if (pcm && !pcmBits)
        throw EImplausibleFormat("Unsupported sample size of " + std::to_string(bitsPerSample) + " bits");
    if (pcm ? blockAlign != channels * (bitsPerSample / 8) : blockAlign > kMaxCompressedBlockAlign)
        throw EImplausibleFormat("Unsupported block size of " + std::to_string(blockAlign) + " bytes");
}

bool IsRiffWave(const uint8_t* bytes, size_t size) {
    return size >= kHeaderBytes && IdIs(bytes, "RIFF") && IdIs(bytes + 8, "WAVE");
}

RiffRead MemoryRead(const uint8_t* bytes, size_t size) {
    return [bytes, size](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= size) return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size - offset));
        std::memcpy(out, bytes + offset, n);
        return n;
    };
}

RiffWave ReadRiffWave(const uint8_t* bytes, size_t size) {
    return ReadRiffWave(MemoryRead(bytes, size), size);
}

RiffWave ReadRiffWave(const RiffRead& read, uint64_t size) {
    uint8_t head[kHeaderBytes];
    if (size < kHeaderBytes || read(0, head, kHeaderBytes) != kHeaderBytes ||
        !IsRiffWave(head, kHeaderBytes))
        throw ERiffError("Not a RIFF WAVE file");
    const bool unfinished = Little(head + 4, 4) == 0;
    RiffWave wave;
    bool haveFormat = false, haveData = false;
    uint64_t position = kHeaderBytes;
    while (position + kChunkHeaderBytes <= size) {
        uint8_t header[kChunkHeaderBytes + kFormatBytes] = {};
        const uint64_t body = position + kChunkHeaderBytes;
        const uint64_t available = size - body;
        const size_t got = read(position, header, sizeof header);
        if (got < kChunkHeaderBytes) throw ERiffError("Read error");
        const uint64_t declared = Little(header + 4, 4);
        if (IdIs(header, "fmt ") && !haveFormat) {
            if (declared < kFormatBytes || available < kFormatBytes || got < sizeof header)
                throw ERiffError("Format chunk too short");
            ReadFormat(header + kChunkHeaderBytes, wave);
            haveFormat = true;
        } else if (IdIs(header, "data") && !haveData) {
            wave.dataOffset = static_cast<size_t>(body);
            const bool toTheEnd = declared > available || (declared == 0 && unfinished);
            wave.dataSize = static_cast<size_t>(toTheEnd ? available : declared);
            haveData = true;
        } else if (IdIs(header, "fact") && !wave.hasFact && declared >= 4 && available >= 4 &&
                   got >= kChunkHeaderBytes + 4) {
            wave.hasFact = true;
            wave.factSamples = Little(header + kChunkHeaderBytes, 4);
        }
        position = body + declared + (declared & 1);  // chunks are word aligned
    }
    if (!haveFormat) throw ERiffError("No format chunk");
    if (!haveData) throw ERiffError("No data chunk");
    CheckPlausibleFormat(wave.formatTag, wave.channels, wave.samplesPerSec, wave.blockAlign,
                         wave.bitsPerSample);
    return wave;
}

}  // namespace murmel
