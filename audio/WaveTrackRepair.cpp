#include "WaveTrackRepair.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "MMWave.h"
#include "RiffReader.h"

namespace murmel {
namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagMpegLayer3 = 0x55;
constexpr uint32_t kMaxFormatSize = 1024;  // the largest format record a preset may hold
constexpr size_t kTrailerSize = 12;        // "fact", 4, sample count

uint32_t GetU32(const uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}
uint16_t GetU16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

[[noreturn]] void NotAWaveFile() { throw EMMWaveError("Error reading wave file"); }

// Data bytes up to the end of the last whole frame. Bytes that are not MPEG
// frames at all are kept as they are: only a frame cut short is dropped.
uint64_t WholeMpegFrames(TrackWindowReader& track, uint64_t dataOffset, uint64_t size) {
    uint64_t at = 0;
    while (size - at >= 4) {
        const uint8_t* header = track.Four(dataOffset + at);
        if (!header) NotAWaveFile();
        size_t frame = MpegLayer3FrameLength(header);
        if (frame == 0) return size;
        if (frame > size - at) return at;
        at += frame;
    }
    return at;  // a header cut short
}

// The writer's finalised layout: data size D, pad when D is odd, 'fact', and the
// RIFF size covering all of it. `last` holds the file's last 12 bytes.
bool IsFinalised(const uint8_t* file, uint64_t size, const uint8_t* last, size_t dataOffset,
                 uint32_t dataSize) {
    const uint64_t end = uint64_t{dataOffset} + dataSize + (dataSize % 2) + kTrailerSize;
    return dataSize > 0 && end == size && GetU32(file + 4) == size - 8 &&
           std::memcmp(last, "fact", 4) == 0 && GetU32(last + 4) == 4;
}

}  // namespace

int64_t WaveTrackRepairPlan::LengthMs() const {
    if (avgBytesPerSec == 0) return 0;
    return static_cast<int64_t>(dataBytes * 1000 / avgBytesPerSec);
}

int64_t RepairedWaveTrack::LengthMs() const {
    if (avgBytesPerSec == 0) return 0;
    return static_cast<int64_t>(dataBytes * 1000 / avgBytesPerSec);
}

size_t MpegLayer3FrameLength(const uint8_t* h) {
    static const uint16_t kMpeg1Kbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                          112, 128, 160, 192, 224, 256, 320};
    static const uint16_t kMpeg2Kbps[] = {0,  8,  16, 24,  32,  40,  48, 56,
                                          64, 80, 96, 112, 128, 144, 160};
    static const uint32_t kRates[3][3] = {
        {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
    const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (h[1] >> 1) & 3;    // 1 Layer III
    const int bitrate = h[2] >> 4, rate = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer != 1 || bitrate == 0 || bitrate == 15 || rate == 3) return 0;
    const bool mpeg1 = version == 3;
    const uint32_t sampleRate = kRates[mpeg1 ? 0 : version == 2 ? 1 : 2][rate];
    const uint32_t kbps = mpeg1 ? kMpeg1Kbps[bitrate] : kMpeg2Kbps[bitrate];
    return (mpeg1 ? 144000u : 72000u) * kbps / sampleRate + static_cast<uint32_t>(padding);
}

RepairedWaveTrack RepairWaveTrack(const uint8_t* file, size_t size) {
    const WaveTrackRepairPlan plan = PlanWaveTrackRepair(MemoryRead(file, size), size);
    RepairedWaveTrack track;
    track.bytes = plan.head;
    track.bytes.insert(track.bytes.end(), file + plan.soundOffset,
                       file + plan.soundOffset + plan.soundBytes);
    track.bytes.insert(track.bytes.end(), plan.tail.begin(), plan.tail.end());
    track.dataBytes = plan.dataBytes;
    track.avgBytesPerSec = plan.avgBytesPerSec;
    track.wasFinalised = plan.wasFinalised;
    return track;
}

WaveTrackRepairPlan PlanWaveTrackRepair(const TrackReadAt& read, uint64_t size) {
    // The header as far as the writer's largest format record reaches, and the end.
    std::vector<uint8_t> header(static_cast<size_t>(std::min<uint64_t>(size, 20 + kMaxFormatSize + 1 + 8)));
    if (read(0, header.data(), header.size()) != header.size()) NotAWaveFile();
    const uint8_t* file = header.data();
    if (size < 20 || std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0 ||
        std::memcmp(file + 12, "fmt ", 4) != 0)
        NotAWaveFile();
    const uint32_t formatSize = GetU32(file + 16);
    if (formatSize < 16 || formatSize > kMaxFormatSize) NotAWaveFile();
    const size_t dataChunk = 20 + formatSize + (formatSize % 2);
    if (dataChunk + 8 > size || std::memcmp(file + dataChunk, "data", 4) != 0) NotAWaveFile();
    const size_t dataOffset = dataChunk + 8;
    const uint16_t tag = GetU16(file + 20);
    const uint32_t samplesPerSec = GetU32(file + 24), avgBytesPerSec = GetU32(file + 28);
    const uint16_t blockAlign = GetU16(file + 32);
    // A format no recorder writes would make the length, and the sample count
    // written into the trailer, whatever it claims.
    try {
        CheckPlausibleFormat(tag, GetU16(file + 22), samplesPerSec, blockAlign, GetU16(file + 34));
    } catch (const EImplausibleFormat& error) {
        throw EMMWaveError(std::string("Error reading wave file: ") + error.what());
    }
    uint8_t last[kTrailerSize] = {};
    const bool hasLast =
        size >= dataOffset + kTrailerSize &&
        read(size - kTrailerSize, last, kTrailerSize) == kTrailerSize;

    WaveTrackRepairPlan plan;
    plan.avgBytesPerSec = avgBytesPerSec;
    const uint32_t headerSize = GetU32(file + dataChunk + 4);
    if (hasLast && IsFinalised(file, size, last, dataOffset, headerSize)) {
        plan.soundBytes = size;
        plan.dataBytes = headerSize;
        plan.wasFinalised = true;
        return plan;
    }

    // Everything past the header is sound, unless the writer was stopped while
    // finalising: then its trailer already stands at the end.
    uint64_t data = size - dataOffset;
    if (hasLast && data >= headerSize + kTrailerSize && std::memcmp(last, "fact", 4) == 0 &&
        GetU32(last + 4) == 4)
        data -= kTrailerSize;
    if (tag == kTagMpegLayer3) {
        TrackWindowReader track(read, size);
        data = WholeMpegFrames(track, dataOffset, data);
    } else if (tag == kTagPcm && blockAlign > 0) {
        data -= data % blockAlign;
    }
    // A RIFF file cannot describe more.
    const uint64_t limit = UINT32_MAX - dataOffset - 1 - kTrailerSize;
    if (data > limit) data = limit;

    plan.head.assign(file, file + dataOffset);
    plan.soundOffset = dataOffset;
    plan.soundBytes = data;
    if (data == 0) {  // as the writer does: a track always holds some data
        plan.head.resize(dataOffset + 4, 0);
        data = 4;
    }
    if (data % 2) plan.tail.push_back(0);
    plan.tail.insert(plan.tail.end(), {'f', 'a', 'c', 't', 4, 0, 0, 0, 0, 0, 0, 0});
    PutU32(plan.tail.data() + plan.tail.size() - 4,
           WaveBytesToSamples(data, samplesPerSec, avgBytesPerSec));
    const uint64_t end = dataOffset + data + (data % 2) + kTrailerSize;
    PutU32(plan.head.data() + dataOffset - 4, static_cast<uint32_t>(data));
    PutU32(plan.head.data() + 4, static_cast<uint32_t>(end - 8));
    plan.dataBytes = data;
    return plan;
}

}  // namespace murmel
