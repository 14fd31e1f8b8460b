#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
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

// A format record no recording or sound card makes (CheckPlausibleFormat).
class EImplausibleFormat : public ERiffError {
public:
    using ERiffError::ERiffError;
};

// What any recording of ours or any sound card produces. A format outside these is
// refused before anything is sized or timed by it: a few bytes claiming 1 Hz would
// otherwise play, and export, for hours.
constexpr uint32_t kMinSampleRate = 8000;
constexpr uint32_t kMaxSampleRate = 192000;
constexpr uint16_t kMaxChannels = 2;
constexpr uint16_t kMaxCompressedBlockAlign = 4096;  // above any MPEG audio frame

// Throws EImplausibleFormat naming what is wrong when the format record lies outside those
// limits: PCM of 8, 16, 24 or 32 bits (float of 32) whose block is one frame, any
// other format with a block no larger than an MPEG frame.
void CheckPlausibleFormat(uint16_t formatTag, uint16_t channels, uint32_t samplesPerSec,
                          uint16_t blockAlign, uint16_t bitsPerSample);

// True when the bytes start like a RIFF WAVE file.
bool IsRiffWave(const uint8_t* bytes, size_t size);

// Walks the chunks of a RIFF WAVE file in any order. Chunk sizes are not trusted:
// a data chunk that runs past the end is cut at the end (a cut-off recording still
// plays), one left at 0 by an unfinished recording runs to the end of the file.
// Throws ERiffError.
RiffWave ReadRiffWave(const uint8_t* bytes, size_t size);

// The same on a file read piece by piece: `read` fills `out` with up to `count`
// bytes from `offset` and returns how many it gave. Only the chunk headers and the
// format record are read, so a track of any length costs a few small reads.
using RiffRead = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;
RiffWave ReadRiffWave(const RiffRead& read, uint64_t size);

// A RiffRead over bytes in memory (which must outlive it).
RiffRead MemoryRead(const uint8_t* bytes, size_t size);

}  // namespace murmel
