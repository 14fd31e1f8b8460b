#include "VoiceTrackCut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "MMWave.h"
#include "RiffReader.h"
#include "SafeFile.h"
#include "VoiceTrackEncoder.h"
#include "VoiceTrackReader.h"
#include "TrackWindowReader.h"
#include "WaveTrackRepair.h"

namespace murmel {
namespace {

// Frames the MPEG encoder and decoder put in front of the sound (LAME's delay and
// the decoder's); skipped at the cut so the new track keeps the old one's timing.
constexpr int64_t kCodecDelayFrames = 1105;

int64_t MsToFrame(int64_t ms, int rate) { return ms * rate / 1000; }

// Frames of MPEG audio at `rate`: 1152 samples for MPEG-1, 576 for MPEG-2 and 2.5.
int64_t MpegFrameSamples(int rate) { return rate >= 32000 ? 1152 : 576; }

void PutLittle(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The encoder's last flush may add a frame of silence past the end; the track keeps
// only its first `keep` frames, finalised as the writer finalises a track.
void KeepMpegFrames(const std::string& path, int64_t keep) {
    const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw EFileError(path, errno);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0) throw EFileError(path, errno);
    const TrackReadAt read = [fd](uint64_t offset, uint8_t* out, size_t count) {
        return ReadAllAt(fd, offset, out, count);
    };
    const auto fileSize = static_cast<uint64_t>(info.st_size);
    const RiffWave wave = ReadRiffWave(read, fileSize);
    TrackWindowReader track(read, fileSize);
    uint64_t at = 0;
    for (int64_t frame = 0; frame < keep; ++frame) {
        const uint8_t* bytes = nullptr;
        size_t length = 0;
        if (at + 4 > wave.dataSize || (bytes = track.Four(wave.dataOffset + at)) == nullptr ||
            (length = MpegLayer3FrameLength(bytes)) == 0)
            return;  // fewer frames than that: nothing to drop
        at += length;
    }
    if (at >= wave.dataSize) return;
    const uint32_t data = static_cast<uint32_t>(at);
    std::vector<uint8_t> tail(data & 1, 0);
    for (char c : std::string("fact\4\0\0\0", 8)) tail.push_back(static_cast<uint8_t>(c));
    tail.resize(tail.size() + 4);
    PutLittle(&tail[tail.size() - 4],
              WaveBytesToSamples(data, wave.samplesPerSec, wave.avgBytesPerSec));
    const uint64_t end = wave.dataOffset + data;
    uint8_t size[4];
    bool written = ftruncate(fd, static_cast<off_t>(end)) == 0 &&
                   pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(end)) ==
                       static_cast<ssize_t>(tail.size());
    PutLittle(size, data);
    written = written && pwrite(fd, size, 4, static_cast<off_t>(wave.dataOffset - 4)) == 4;
    PutLittle(size, static_cast<uint32_t>(end + tail.size() - 8));
    written = written && pwrite(fd, size, 4, 4) == 4;
    if (!written) throw EFileError(path, errno ? errno : EIO);
}

int16_t ToSample(float value) {
    return static_cast<int16_t>(
        std::lrint(std::clamp(value, -1.0f, 32767.0f / 32768.0f) * 32768.0f));
}

}  // namespace

void CutVoiceTrack(const std::string& source, const std::string& target, int64_t startMs,
                   int64_t endMs) {
    VoiceTrackReader reader(source);
    const int rate = reader.SampleRate();
    const auto channels = static_cast<size_t>(reader.Channels());
    const int64_t first = std::clamp<int64_t>(MsToFrame(startMs, rate), 0, reader.TotalFrames());
    const int64_t end = std::clamp<int64_t>(MsToFrame(endMs, rate), 0, reader.TotalFrames());
    if (end <= first) throw std::invalid_argument("The end of the cut must lie after its start");
    // The encoder delays what it is given; start that much later to stay in step.
    const int64_t skip = reader.IsMpeg() ? std::min(kCodecDelayFrames, end - first - 1) : 0;
    const int64_t frames = end - first - skip;
    const int64_t fade = std::min(MsToFrame(kTrimFadeMs, rate), frames / 2);

    VoiceTrackEncoder feed(target, reader.FormatRecord(), rate, reader.Channels());
    reader.Seek(first + skip);
    constexpr size_t kStep = 8192;
    std::vector<float> decoded(kStep * channels);
    std::vector<int16_t> samples;
    for (int64_t done = 0; done < frames;) {
        const auto want = static_cast<size_t>(std::min<int64_t>(kStep, frames - done));
        size_t got = reader.Read(decoded.data(), want);
        if (got == 0) break;  // the decoder found less than it counted
        samples.resize(got * channels);
        for (size_t i = 0; i < got; ++i) {
            const int64_t at = done + static_cast<int64_t>(i);
            const float gain = fade > 0 ? std::min({1.0f, float(at) / float(fade),
                                                    float(frames - 1 - at) / float(fade)})
                                        : 1.0f;
            for (size_t c = 0; c < channels; ++c)
                samples[i * channels + c] = ToSample(decoded[i * channels + c] * gain);
        }
        feed.Put(samples.data(), samples.size());
        done += static_cast<int64_t>(got);
    }
    feed.Finish();
    if (reader.IsMpeg())
        KeepMpegFrames(target, (end - first + MpegFrameSamples(rate) - 1) / MpegFrameSamples(rate));
}

}  // namespace murmel
