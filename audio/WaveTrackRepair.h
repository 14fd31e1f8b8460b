#pragma once
// Mends a voice track that was never finalised because the recorder crashed or was
// killed: the data size comes from the file's real length, a last MPEG frame cut
// short (or a PCM frame cut short) is dropped, and the trailer is added, giving
// exactly the bytes the writer would have left had the recording been finalised
// there. The track itself is only read.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "TrackWindowReader.h"

namespace murmel {

struct RepairedWaveTrack {
    std::vector<uint8_t> bytes;  // the whole finalised file
    uint64_t dataBytes = 0;
    uint32_t avgBytesPerSec = 0;
    bool wasFinalised = false;  // the track was complete already; bytes are its own
    int64_t LengthMs() const;
};

// Raises EMMWaveError "Error reading wave file" for bytes that are no wave file
// as the writer makes them (RIFF, WAVE, 'fmt ', 'data' in this order).
RepairedWaveTrack RepairWaveTrack(const uint8_t* file, size_t size);

// The same mend described without holding the track, for tracks of hours: the
// mended file is `head`, then `soundBytes` bytes of the track from `soundOffset`,
// then `tail`. Reads only the header, the end and (for MPEG) the frame headers.
struct WaveTrackRepairPlan {
    std::vector<uint8_t> head;
    uint64_t soundOffset = 0;
    uint64_t soundBytes = 0;
    std::vector<uint8_t> tail;
    uint64_t dataBytes = 0;
    uint32_t avgBytesPerSec = 0;
    bool wasFinalised = false;
    uint64_t Size() const { return head.size() + soundBytes + tail.size(); }
    int64_t LengthMs() const;
};
WaveTrackRepairPlan PlanWaveTrackRepair(const TrackReadAt& read, uint64_t size);

// Length in bytes of the MPEG audio Layer III frame whose 4-byte header starts
// at `header`; 0 when the bytes are no such header.
size_t MpegLayer3FrameLength(const uint8_t* header);

}  // namespace murmel
