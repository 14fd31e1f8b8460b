#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Mp3Decoder.h"
#include "RiffReader.h"

namespace murmel {

// The sound of a voice track (a RIFF WAVE file holding MPEG audio or 16-bit PCM,
// as the recorder writes it) decoded to interleaved float at the track's own rate,
// read from the file as decoding goes.
class VoiceTrackReader {
  public:
    // Throws EFileError naming the path when it cannot be read, std::runtime_error
    // "PATH: REASON" when it holds no voice track we can decode.
    explicit VoiceTrackReader(const std::string& path);
    ~VoiceTrackReader();
    VoiceTrackReader(const VoiceTrackReader&) = delete;
    VoiceTrackReader& operator=(const VoiceTrackReader&) = delete;

    int SampleRate() const { return rate_; }
    int Channels() const { return channels_; }
    int64_t TotalFrames() const { return totalFrames_; }
    int64_t LengthMs() const { return totalFrames_ * 1000 / rate_; }
    bool IsMpeg() const { return mpeg_ != nullptr; }
    // The track's format record as stored in its 'fmt ' chunk.
    const std::vector<uint8_t>& FormatRecord() const { return formatRecord_; }

    // Decodes the next frames; fewer than asked only at the end.
    size_t Read(float* out, size_t frames);
    void Seek(int64_t frame);  // kept within 0..TotalFrames()

  private:
    std::string path_;
    int fd_ = -1;
    RiffWave wave_;
    std::vector<uint8_t> formatRecord_;
    std::unique_ptr<Mp3Decoder> mpeg_;
    std::vector<int16_t> pcm_;  // one read's PCM samples
    int rate_ = 0;
    int channels_ = 0;
    int64_t totalFrames_ = 0;
    int64_t position_ = 0;  // PCM tracks only
};

}  // namespace murmel
