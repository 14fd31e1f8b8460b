#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "MMACMCvt.h"
#include "MMWave.h"

namespace murmel {

// Encodes sound into a voice track as the recorder's chain does: 16-bit PCM through
// the ACM converter (high quality) into the wave file writer, in the capture
// device's buffer size, so the file is what recording the same sound in that
// format record would have left.
class VoiceTrackEncoder {
  public:
    // Creates TARGET for a voice track in `formatRecord` (a preset or PCM) from PCM
    // at `rate` and `channels`. Throws EMMConverterError when the format cannot be
    // reached from that PCM, EMMWaveError when TARGET cannot be created.
    VoiceTrackEncoder(const std::string& target, const std::vector<uint8_t>& formatRecord, int rate,
                      int channels);
    // Without Finish, the file is removed.
    ~VoiceTrackEncoder();
    VoiceTrackEncoder(const VoiceTrackEncoder&) = delete;
    VoiceTrackEncoder& operator=(const VoiceTrackEncoder&) = delete;

    // Throws EFileError naming TARGET when the file refuses the sound.
    void Put(const int16_t* samples, size_t count);
    // Drains the codec and finalises the file; throws as Put.
    void Finish();

  private:
    void CheckWritten();

    std::string target_;
    bool finished_ = false;
    TMMDSPComponent source_;
    TMMACMConverter converter_;
    TMMWaveFile writer_;
    std::vector<char> buffer_;
    std::vector<char> pending_;  // bytes short of a whole buffer
};

}  // namespace murmel
