#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

namespace murmel {

// libmpg123 over MPEG audio held in memory (the data chunk of a voice track, or a
// whole plain MP3 file), decoding to interleaved float at the track's own rate.
class Mp3Decoder {
  public:
    // `bytes` stays shared with the caller; [offset, offset + size) is the MPEG data.
    // Throws std::runtime_error when no MPEG frame is found.
    Mp3Decoder(std::shared_ptr<const std::vector<uint8_t>> bytes, size_t offset, size_t size);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    int SampleRate() const { return rate_; }
    int Channels() const { return channels_; }
    // Frames in the whole track, from a scan of every MPEG frame.
    int64_t TotalFrames() const { return totalFrames_; }
    // Decodes the next frames, never beyond TotalFrames; fewer than asked at the end.
    size_t Read(float* out, size_t frames);
    // The next Read starts at `frame` (kept within 0..TotalFrames()).
    void Seek(int64_t frame);
    // The bit rate of the first frame, in kbit/s.
    int Kbps() const { return kbps_; }

    struct Memory {
        const uint8_t* data;
        size_t size;
        size_t position;
    };

  private:
    bool SameFormat();

    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    Memory memory_;
    mpg123_handle_struct* handle_ = nullptr;
    int rate_ = 0;
    int channels_ = 0;
    int kbps_ = 0;
    int64_t totalFrames_ = 0;
    int64_t delivered_ = 0;
    bool ended_ = false;
};

}  // namespace murmel
