#include "RiffReader.h"

#include <cstring>

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

bool IsRiffWave(const uint8_t* bytes, size_t size) {
    return size >= kHeaderBytes && IdIs(bytes, "RIFF") && IdIs(bytes + 8, "WAVE");
}

RiffWave ReadRiffWave(const uint8_t* bytes, size_t size) {
    if (!IsRiffWave(bytes, size)) throw ERiffError("Not a RIFF WAVE file");
    const bool unfinished = Little(bytes + 4, 4) == 0;
    RiffWave wave;
    bool haveFormat = false, haveData = false;
    uint64_t position = kHeaderBytes;
    while (position + kChunkHeaderBytes <= size) {
        const uint8_t* header = bytes + position;
        const uint64_t declared = Little(header + 4, 4);
        const uint64_t body = position + kChunkHeaderBytes;
        const uint64_t available = size - body;
        if (IdIs(header, "fmt ") && !haveFormat) {
            if (declared < kFormatBytes || available < kFormatBytes)
                throw ERiffError("Format chunk too short");
            ReadFormat(bytes + body, wave);
            haveFormat = true;
        } else if (IdIs(header, "data") && !haveData) {
            wave.dataOffset = static_cast<size_t>(body);
            const bool toTheEnd = declared > available || (declared == 0 && unfinished);
            wave.dataSize = static_cast<size_t>(toTheEnd ? available : declared);
            haveData = true;
        } else if (IdIs(header, "fact") && !wave.hasFact && declared >= 4 && available >= 4) {
            wave.hasFact = true;
            wave.factSamples = Little(bytes + body, 4);
        }
        position = body + declared + (declared & 1);  // chunks are word aligned
    }
    if (!haveFormat) throw ERiffError("No format chunk");
    if (!haveData) throw ERiffError("No data chunk");
    if (wave.channels == 0 || wave.samplesPerSec == 0) throw ERiffError("Bad format record");
    return wave;
}

}  // namespace murmel
