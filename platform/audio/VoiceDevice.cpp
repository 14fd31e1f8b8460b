#include "VoiceDevice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "Mp3Decoder.h"
#include "RiffReader.h"
#include "SafeFile.h"
#include "TimeStretch.h"

namespace murmel {
namespace {

// The open voice track file, shared by the track and its decoder; it is read as
// the sound plays, never held whole, so a track of any length costs little memory.
struct TrackFile {
    explicit TrackFile(int descriptor, uint64_t length) : fd(descriptor), size(length) {}
    ~TrackFile() { close(fd); }
    TrackFile(const TrackFile&) = delete;
    TrackFile& operator=(const TrackFile&) = delete;
    // Up to `count` bytes from `offset`; fewer at the end or on a read error.
    size_t Read(uint64_t offset, uint8_t* out, size_t count) const {
        return ReadAllAt(fd, offset, out, count);
    }
    int fd;
    uint64_t size;
};

using File = std::shared_ptr<const TrackFile>;

File OpenTrackFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw EMCIDeviceError(VoiceDevice::kFileNotFound);
    // A folder, FIFO or device is no track (and opening a FIFO would wait).
    if (!S_ISREG(info.st_mode) || info.st_size <= 0) throw EMCIDeviceError(VoiceDevice::kCannotPlay);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw EMCIDeviceError(VoiceDevice::kFileNotFound);
    auto file = std::make_shared<TrackFile>(fd, 0);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        throw EMCIDeviceError(VoiceDevice::kCannotPlay);
    file->size = static_cast<uint64_t>(info.st_size);
    return file;
}

float PcmSample(const uint8_t* at, int bits, bool isFloat) {
    switch (bits) {
        case 8:
            return (static_cast<int>(at[0]) - 128) / 128.0f;
        case 16:
            return static_cast<int16_t>(at[0] | (at[1] << 8)) / 32768.0f;
        case 24:
            return static_cast<int32_t>((at[0] << 8) | (at[1] << 16) |
                                        (static_cast<uint32_t>(at[2]) << 24)) /
                   2147483648.0f;
        default: {
            const uint32_t word =
                at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
            if (!isFloat) return static_cast<int32_t>(word) / 2147483648.0f;
            float value;
            std::memcpy(&value, &word, sizeof value);
            return value;
        }
    }
}

}  // namespace

// The decoded sound of an open track; pulled by the output.
class VoiceDevice::Track : public AudioSource {
  public:
    virtual StreamFormat Format() const = 0;
    virtual int64_t TotalFrames() const = 0;
    // The next Pull starts at `frame` (0..TotalFrames()).
    virtual void SeekFrame(int64_t frame) = 0;
    virtual int Kbps() const { return 0; }
};

namespace {

class PcmTrack : public VoiceDevice::Track {
  public:
    PcmTrack(File file, const RiffWave& wave)
        : file_(std::move(file)), wave_(wave), isFloat_(wave.formatTag == RiffWave::kFloat) {
        const int bits = wave.bitsPerSample;
        const bool known =
            isFloat_ ? bits == 32 : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
        frameBytes_ = static_cast<size_t>(wave.channels) * static_cast<size_t>(bits / 8);
        if (!known || wave.blockAlign != frameBytes_)
            throw EMCIDeviceError(VoiceDevice::kCannotPlay);
        total_ = static_cast<int64_t>(wave.dataSize / frameBytes_);
    }
    StreamFormat Format() const override {
        return {static_cast<int>(wave_.samplesPerSec), wave_.channels};
    }
    int64_t TotalFrames() const override { return total_; }
    void SeekFrame(int64_t frame) override { next_ = frame; }
    size_t Pull(float* out, size_t frames) override {
        size_t count =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(frames), total_ - next_));
        buffer_.resize(std::max(buffer_.size(), count * frameBytes_));
        count = file_->Read(wave_.dataOffset + static_cast<uint64_t>(next_) * frameBytes_,
                            buffer_.data(), count * frameBytes_) /
                frameBytes_;
        const uint8_t* at = buffer_.data();
        const size_t sampleBytes = wave_.bitsPerSample / 8;
        for (size_t i = 0; i < count * wave_.channels; ++i, at += sampleBytes)
            out[i] = PcmSample(at, wave_.bitsPerSample, isFloat_);
        next_ += static_cast<int64_t>(count);
        return count;
    }

  private:
    File file_;
    std::vector<uint8_t> buffer_;  // the bytes of one pull
    RiffWave wave_;
    bool isFloat_;
    size_t frameBytes_ = 0;
    int64_t total_ = 0;
    int64_t next_ = 0;
};

class MpegTrack : public VoiceDevice::Track {
  public:
    MpegTrack(File file, uint64_t offset, uint64_t size)
        : file_(std::move(file)), decoder_(file_->fd, offset, size) {}
    StreamFormat Format() const override { return {decoder_.SampleRate(), decoder_.Channels()}; }
    int64_t TotalFrames() const override { return decoder_.TotalFrames(); }
    void SeekFrame(int64_t frame) override { decoder_.Seek(frame); }
    int Kbps() const override { return decoder_.Kbps(); }
    size_t Pull(float* out, size_t frames) override { return decoder_.Read(out, frames); }

  private:
    File file_;  // before the decoder, which reads it
    Mp3Decoder decoder_;
};

// A wrapped MPEG track whose data is all zeros (a recording that caught nothing
// gets a few zero bytes): it plays for no time at all.
class SilentTrack : public VoiceDevice::Track {
  public:
    explicit SilentTrack(const RiffWave& wave)
        : format_{static_cast<int>(wave.samplesPerSec), wave.channels} {}
    StreamFormat Format() const override { return format_; }
    int64_t TotalFrames() const override { return 0; }
    void SeekFrame(int64_t) override {}
    size_t Pull(float*, size_t) override { return 0; }

  private:
    StreamFormat format_;
};

bool AllZero(const TrackFile& file, uint64_t offset, uint64_t size) {
    uint8_t chunk[65536];
    for (uint64_t done = 0; done < size;) {
        const size_t n = file.Read(offset + done, chunk, std::min<uint64_t>(sizeof chunk, size - done));
        if (n == 0) return false;
        if (!std::all_of(chunk, chunk + n, [](uint8_t byte) { return byte == 0; })) return false;
        done += n;
    }
    return true;
}

std::shared_ptr<VoiceDevice::Track> OpenTrack(const File& file) {
    uint8_t head[12] = {};
    if (!IsRiffWave(head, file->Read(0, head, sizeof head))) {
        try {
            return std::make_shared<MpegTrack>(file, 0, file->size);
        } catch (const std::runtime_error&) {
            throw EMCIDeviceError(VoiceDevice::kCannotPlay);
        }
    }
    RiffWave wave;
    try {
        wave = ReadRiffWave(
            [&file](uint64_t offset, uint8_t* out, size_t count) {
                return file->Read(offset, out, count);
            },
            file->size);
    } catch (const EImplausibleFormat& error) {
        // The device's own words, and what is wrong with the track.
        throw EMCIDeviceError(std::string(VoiceDevice::kCannotPlay) + " (" + error.what() + ")");
    } catch (const ERiffError&) {
        throw EMCIDeviceError(VoiceDevice::kCannotPlay);
    }
    if (wave.formatTag == RiffWave::kPcm || wave.formatTag == RiffWave::kFloat)
        return std::make_shared<PcmTrack>(file, wave);
    if (wave.formatTag != RiffWave::kMpegLayer3 && wave.formatTag != 0x50)  // 0x50: MPEG layers 1-2
        throw EMCIDeviceError(VoiceDevice::kCannotPlay);
    try {
        return std::make_shared<MpegTrack>(file, wave.dataOffset, wave.dataSize);
    } catch (const std::runtime_error&) {
        if (AllZero(*file, wave.dataOffset, wave.dataSize)) return std::make_shared<SilentTrack>(wave);
        throw EMCIDeviceError(VoiceDevice::kCannotPlay);
    }
}

}  // namespace

VoiceDevice::VoiceDevice(AudioOutput& output) : output_(output) {}

VoiceDevice::~VoiceDevice() { Close(); }

void VoiceDevice::Open(const std::string& path) {
    Close();
    track_ = OpenTrack(OpenTrackFile(path));
}

void VoiceDevice::Play() {
    if (!track_ || stream_) return;
    StartStream();
}

// At 1× the track itself plays, exactly as it always has; at other speeds through
// the stretcher, whose output frame n is track frame startFrame_ + n × speed.
void VoiceDevice::StartStream() {
    std::shared_ptr<AudioSource> source = track_;
    if (speed_ != 1.0)
        source = std::make_shared<TimeStretch>(track_, track_->Format(), speed_,
                                               track_->TotalFrames() - startFrame_);
    try {
        stream_ = output_.Play(track_->Format(), std::move(source));
    } catch (const EAudioOutputError& error) {
        throw EMCIDeviceError(error.what());
    }
}

void VoiceDevice::Close() {
    stream_.reset();
    track_.reset();
    startFrame_ = 0;
}

// Both restart the stream: what the old one had buffered is dropped, so the
// position is right from the next tick on.
void VoiceDevice::SetSpeed(double speed) {
    speed = std::clamp(speed, TimeStretch::kSlowest, TimeStretch::kFastest);
    if (speed == speed_) return;
    if (!stream_) {
        speed_ = speed;
        return;
    }
    const int64_t frame = PositionFrames();
    stream_.reset();
    speed_ = speed;
    startFrame_ = frame;
    track_->SeekFrame(frame);
    StartStream();
}

void VoiceDevice::Seek(int64_t ms) {
    if (!track_) return;
    const int64_t frame =
        std::clamp<int64_t>(ms * track_->Format().sampleRate / 1000, 0, track_->TotalFrames());
    const bool playing = stream_ != nullptr;
    stream_.reset();
    startFrame_ = frame;
    track_->SeekFrame(frame);
    if (playing) StartStream();
}

int64_t VoiceDevice::Length() const {
    if (!track_) return 0;
    return track_->TotalFrames() * 1000 / track_->Format().sampleRate;
}

int64_t VoiceDevice::PositionFrames() const {
    const int64_t heard = stream_ ? stream_->FramesHeard() : 0;
    if (speed_ == 1.0) return startFrame_ + heard;
    return std::min<int64_t>(track_->TotalFrames(),
                             startFrame_ + std::llround(static_cast<double>(heard) * speed_));
}

int64_t VoiceDevice::Position() const {
    if (!stream_) return 0;
    return PositionFrames() * 1000 / track_->Format().sampleRate;
}

std::string VoiceDevice::Failure() const { return stream_ ? stream_->Failure() : std::string(); }

TMPModes VoiceDevice::Mode() const {
    if (!track_) return mpNotReady;
    if (stream_ && !stream_->Drained()) return mpPlaying;
    return mpStopped;
}

VoiceDevice::TrackInfo VoiceDevice::Info() const {
    if (!track_) return {};
    const StreamFormat format = track_->Format();
    return {format.sampleRate, format.channels, track_->Kbps(), track_->TotalFrames()};
}

}  // namespace murmel
