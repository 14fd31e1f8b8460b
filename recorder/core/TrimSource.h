#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace murmel {

// The loudest and softest sample of one column of a waveform, from -1 to 1.
struct WaveformPeak {
    float low = 0;
    float high = 0;
};

// A recording opened for trimming: its voice track (a voice mail's is unpacked into
// a temporary file, removed with this object) and what the trim window shows of it.
class TrimSource {
  public:
    // Throws std::runtime_error "Cannot trim PATH: REASON" for a recording that
    // cannot be read.
    explicit TrimSource(const std::string& path);
    ~TrimSource();
    TrimSource(const TrimSource&) = delete;
    TrimSource& operator=(const TrimSource&) = delete;

    const std::string& Path() const { return path_; }
    bool IsVoiceMail() const { return voiceMail_; }
    // The voice track to listen to (the recording itself when plain).
    const std::string& VoiceTrack() const { return voiceTrack_; }
    int64_t LengthMs() const { return lengthMs_; }

    // The waveform in `columns` columns, from the decoded voice track of the first
    // channel and every second one. Safe to call on another thread; returns early
    // (what it has) once `cancel` is set.
    std::vector<WaveformPeak> Peaks(int columns, const std::atomic<bool>* cancel = nullptr) const;

  private:
    void RemoveTemporary();

    std::string path_;
    bool voiceMail_ = false;
    std::string voiceTrack_;
    std::string placeholder_;  // of a voice mail's unpacked track
    int64_t lengthMs_ = 0;
};

// A name beside PATH that no file has yet: "NAME-1.EXT", "NAME-2.EXT", ...
std::string FreeNameBeside(const std::string& path);

}  // namespace murmel
