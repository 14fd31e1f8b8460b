#include "RecordingKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "RiffReader.h"
#include "SafeFile.h"

namespace murmel {
namespace {

constexpr uint8_t kSignature[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // an unpacked voice mail's start
constexpr size_t kSyncSearch = 4096;  // junk or padding tolerated before the first frame
constexpr uint64_t kId3HeaderSize = 10;

// One MPEG audio frame header: what must stay the same from frame to frame, and
// where the next frame starts.
struct FrameHeader {
    int version = 0;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    int layer = 0;    // 1..3
    int sampleRate = 0;
    uint32_t length = 0;
};

bool ReadFrameHeader(const uint8_t* bytes, FrameHeader& header) {
    static constexpr int kKbps[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return false;
    const int version = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3;
    const int bitRateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    // Reserved values, and the free format, whose frames cannot be measured here.
    if (version == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
        return false;
    header.version = version;
    header.layer = 4 - layerBits;
    header.sampleRate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int64_t bitsPerSecond =
        kKbps[version == 3 ? 0 : 1][header.layer - 1][bitRateIndex] * int64_t{1000};
    const int padding = (bytes[2] >> 1) & 1;
    if (header.layer == 1) {
        header.length =
            static_cast<uint32_t>((12 * bitsPerSecond / header.sampleRate + padding) * 4);
    } else {
        const int64_t perFrame = header.layer == 3 && version != 3 ? 72 : 144;
        header.length =
            static_cast<uint32_t>(perFrame * bitsPerSecond / header.sampleRate + padding);
    }
    return true;
}

// Where the audio starts behind an ID3v2 tag (0 without one).
uint64_t SkipId3Tag(const uint8_t* head, size_t got) {
    if (got < kId3HeaderSize || std::memcmp(head, "ID3", 3) != 0 || head[3] == 0xFF ||
        head[4] == 0xFF)
        return 0;
    uint64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (head[i] & 0x80) return 0;  // sizes are stored seven bits a byte
        size = (size << 7) | head[i];
    }
    const bool footer = head[5] & 0x10;
    return kId3HeaderSize + size + (footer ? kId3HeaderSize : 0);
}

// Two frames in a row that agree, or one that ends the file: a chance match of four
// bytes in other data is not taken for audio.
bool IsMpegAudio(const ReadAt& read, uint64_t size, uint64_t start) {
    if (start >= size) return false;
    uint8_t window[kSyncSearch + 3] = {};
    const size_t got = read(start, window, sizeof window);
    for (size_t at = 0; at + 4 <= got && at < kSyncSearch; ++at) {
        FrameHeader first;
        if (!ReadFrameHeader(window + at, first)) continue;
        const uint64_t next = start + at + first.length;
        if (next == size) return true;
        uint8_t bytes[4] = {};
        FrameHeader second;
        if (next < size && read(next, bytes, sizeof bytes) == sizeof bytes &&
            ReadFrameHeader(bytes, second) && second.version == first.version &&
            second.layer == first.layer && second.sampleRate == first.sampleRate)
            return true;
    }
    return false;
}

// The flags our voice mails are written with, or the unpacked image's signature
// behind any flags (which the loader has always taken).
bool StartsAsVoiceMail(const uint8_t* head, size_t got) {
    if (got < 2) return false;
    if ((head[0] == '&' || head[0] == ' ') && (head[1] == '*' || head[1] == ' ')) return true;
    return got >= 2 + sizeof kSignature &&
           std::equal(std::begin(kSignature), std::end(kSignature), head + 2);
}

}  // namespace

RecordingKind DetectRecordingKind(const ReadAt& read, uint64_t size) {
    uint8_t head[16] = {};
    const size_t got = read(0, head, static_cast<size_t>(std::min<uint64_t>(size, sizeof head)));
    if (StartsAsVoiceMail(head, got)) return RecordingKind::VoiceMail;
    if (IsRiffWave(head, got)) return RecordingKind::RiffWave;
    if (IsMpegAudio(read, size, SkipId3Tag(head, got))) return RecordingKind::MpegAudio;
    return RecordingKind::Unknown;
}

RecordingKind ProbeRecordingFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return RecordingKind::VoiceMail;
    struct stat info {};
    RecordingKind kind = RecordingKind::VoiceMail;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        kind = DetectRecordingKind(
            [fd](uint64_t offset, uint8_t* out, size_t count) {
                return ReadAllAt(fd, offset, out, count);
            },
            static_cast<uint64_t>(info.st_size));
    }
    close(fd);
    return kind;
}

}  // namespace murmel
