#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct lame_global_struct;

namespace murmel {

// A plain MP3 file (no RIFF wrapper, so every phone and browser plays it) from the
// renderer's 44.1 kHz stereo 16-bit sound, through LAME at a constant bit rate. It
// opens with an ID3v2 title and an info frame that tells decoders the encoder's
// delay and padding, so the decoded length is the length given.
class Mp3FileEncoder {
  public:
    struct Format {
        int sampleRate;  // an MPEG Layer III rate; LAME resamples to it
        int channels;    // 1 (mixed down) or 2
        int kbps;        // a bit rate of that rate's MPEG version
    };

    // Writes through `fd`, a new file, from its start. Throws std::invalid_argument
    // for a format LAME refuses.
    Mp3FileEncoder(int fd, Format format, const std::u16string& title);
    ~Mp3FileEncoder();
    Mp3FileEncoder(const Mp3FileEncoder&) = delete;
    Mp3FileEncoder& operator=(const Mp3FileEncoder&) = delete;

    // Both return false with errno set when the file refuses the bytes.
    bool Write(const int16_t* samples, size_t frames);
    bool Finish();  // the last frames and the info frame

    // True when LAME encodes this format (the rate's MPEG version has that bit rate).
    static bool Supports(Format format);
    // True when one frame of the format holds the info frame; at lower bit rates
    // LAME leaves it out and decoders add the encoder's delay (some 50 ms) in front.
    static bool HoldsInfoFrame(Format format);

  private:
    bool Put(const uint8_t* data, size_t size);

    int fd_;
    lame_global_struct* lame_ = nullptr;
    int64_t infoFrameAt_ = 0;   // file offset of the placeholder info frame
    std::vector<uint8_t> tag_;  // written with the first frames
    std::vector<uint8_t> buffer_;
};

}  // namespace murmel
