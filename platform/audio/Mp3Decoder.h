#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

namespace murmel {

// libmpg123 over MPEG audio in a file (the data chunk of a voice track, or a whole
// plain MP3 file), decoding to interleaved float at the track's own rate. The file
// is read as decoding goes, never held whole.
class Mp3Decoder {
  public:
    // [offset, offset + size) of the open file `fd` is the MPEG data; the caller
    // keeps `fd` open while the decoder lives.
    // Throws std::runtime_error when no MPEG frame is found.
    Mp3Decoder(int fd, uint64_t offset, uint64_t size);
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

    struct Range {
        int fd;
        uint64_t offset;
        uint64_t size;
        uint64_t position;
        // What was read ahead: the bytes from bufferStart (a position in the range).
        std::vector<uint8_t> buffer = {};
        uint64_t bufferStart = 0;
    };

  private:
    bool SameFormat();

    Range range_;
    mpg123_handle_struct* handle_ = nullptr;
    int rate_ = 0;
    int channels_ = 0;
    int kbps_ = 0;
    int64_t totalFrames_ = 0;
    int64_t delivered_ = 0;
    bool ended_ = false;
};

}  // namespace murmel
