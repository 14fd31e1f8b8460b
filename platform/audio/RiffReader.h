#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace murmel {

// A RIFF file that holds no playable wave: no 'fmt ' or 'data' chunk, or a format
// record that makes no sense.
class ERiffError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a RIFF WAVE file says about its sound: the format record's fixed part and
// where the data chunk lies in the file.
struct RiffWave {
    static constexpr uint16_t kPcm = 1;
    static constexpr uint16_t kFloat = 3;
    static constexpr uint16_t kMpegLayer3 = 0x55;

    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    size_t dataOffset = 0;
    size_t dataSize = 0;  // never beyond the end of the bytes given
    bool hasFact = false;
    uint32_t factSamples = 0;
};

// True when the bytes start like a RIFF WAVE file.
bool IsRiffWave(const uint8_t* bytes, size_t size);

// Walks the chunks of a RIFF WAVE file in any order. Chunk sizes are not trusted:
// a data chunk that runs past the end is cut at the end (a cut-off recording still
// plays), one left at 0 by an unfinished recording runs to the end of the file.
// Throws ERiffError.
RiffWave ReadRiffWave(const uint8_t* bytes, size_t size);

}  // namespace murmel
