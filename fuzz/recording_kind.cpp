// Any bytes as a file given to the player: telling a voice mail from a plain
// recording reads only inside the file and always answers.
#include <cstdint>
#include <cstring>

#include "RecordingKind.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const murmel::RecordingKind kind = murmel::DetectRecordingKind(
        [data, size](uint64_t offset, uint8_t* out, size_t count) -> size_t {
            if (offset >= size) return 0;
            const size_t n = count < size - offset ? count : static_cast<size_t>(size - offset);
            std::memcpy(out, data + offset, n);
            return n;
        },
        size);
    if (kind != murmel::RecordingKind::VoiceMail && kind != murmel::RecordingKind::RiffWave &&
        kind != murmel::RecordingKind::MpegAudio && kind != murmel::RecordingKind::Unknown)
        __builtin_trap();
    return 0;
}
