#include "VoiceTrackReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "SafeFile.h"

namespace murmel {
namespace {

constexpr size_t kMaxFormatRecord = 1024;  // the longest record a preset may hold

uint32_t Little(const uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// The bytes of the 'fmt ' chunk, walking the chunks as the RIFF reader does.
std::vector<uint8_t> FormatChunk(int fd, uint64_t size) {
    for (uint64_t at = 12; at + 8 <= size;) {
        uint8_t header[8];
        if (ReadAllAt(fd, at, header, 8) != 8) break;
        const uint32_t length = Little(header + 4);
        if (std::equal(header, header + 4, "fmt ")) {
            std::vector<uint8_t> record(std::min<uint64_t>(length, kMaxFormatRecord));
            record.resize(ReadAllAt(fd, at + 8, record.data(), record.size()));
            return record;
        }
        at += 8 + length + (length & 1);
    }
    return {};
}

}  // namespace

VoiceTrackReader::VoiceTrackReader(const std::string& path) : path_(path) {
    uint64_t size = 0;
    fd_ = OpenRegularFile(path, &size, UINT64_MAX);
    try {
        wave_ = ReadRiffWave([this](uint64_t offset, uint8_t* out,
                                    size_t count) { return ReadAllAt(fd_, offset, out, count); },
                             size);
        CheckPlausibleFormat(wave_.formatTag, wave_.channels, wave_.samplesPerSec, wave_.blockAlign,
                             wave_.bitsPerSample);
        formatRecord_ = FormatChunk(fd_, size);
        if (formatRecord_.size() < 16) throw ERiffError("no format record");
        if (formatRecord_.size() < 18) formatRecord_.resize(18, 0);  // PCM without cbSize
        if (wave_.formatTag == RiffWave::kMpegLayer3) {
            mpeg_ = std::make_unique<Mp3Decoder>(fd_, wave_.dataOffset, wave_.dataSize);
            rate_ = mpeg_->SampleRate();
            channels_ = mpeg_->Channels();
            totalFrames_ = mpeg_->TotalFrames();
        } else if (wave_.formatTag == RiffWave::kPcm && wave_.bitsPerSample == 16) {
            rate_ = static_cast<int>(wave_.samplesPerSec);
            channels_ = wave_.channels;
            totalFrames_ = static_cast<int64_t>(wave_.dataSize / wave_.blockAlign);
        } else {
            throw ERiffError("its sound is neither MPEG audio nor 16-bit PCM");
        }
    } catch (const std::runtime_error& error) {
        close(fd_);
        throw std::runtime_error(path + ": " + error.what());
    }
}

VoiceTrackReader::~VoiceTrackReader() {
    mpeg_.reset();
    close(fd_);
}

size_t VoiceTrackReader::Read(float* out, size_t frames) {
    if (mpeg_) return mpeg_->Read(out, frames);
    frames = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(frames), totalFrames_ - position_));
    pcm_.resize(frames * static_cast<size_t>(channels_));
    const size_t bytes = pcm_.size() * sizeof(int16_t);
    const size_t got =
        ReadAllAt(fd_, wave_.dataOffset + static_cast<uint64_t>(position_) * wave_.blockAlign,
               reinterpret_cast<uint8_t*>(pcm_.data()), bytes);
    if (got < bytes) throw EFileError(path_, errno ? errno : EIO);
    for (size_t i = 0; i < pcm_.size(); ++i) out[i] = static_cast<float>(pcm_[i]) / 32768.0f;
    position_ += static_cast<int64_t>(frames);
    return frames;
}

void VoiceTrackReader::Seek(int64_t frame) {
    frame = std::clamp<int64_t>(frame, 0, totalFrames_);
    if (mpeg_)
        mpeg_->Seek(frame);
    else
        position_ = frame;
}

}  // namespace murmel
