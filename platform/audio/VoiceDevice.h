#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "AudioOutput.h"

namespace murmel {

// A voice track the device refuses, with the text the user is shown.
class EMCIDeviceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The modes the player asks for: a closed device is not ready, an open one is
// stopped until it plays, and stays playing until its sound has been heard.
enum TMPModes { mpNotReady, mpStopped, mpPlaying };

// Plays one voice track: RIFF WAVE holding MPEG Layer-3 or PCM, or a plain MP3.
// Positions and lengths are in milliseconds.
class VoiceDevice {
  public:
    static constexpr const char* kFileNotFound =
        "Cannot find the specified file. Make sure the path and filename are correct.";
    static constexpr const char* kCannotPlay =
        "The specified file cannot be played on the specified MCI device. The file may be "
        "corrupt, not in the correct format, or no file handler available for this format.";

    // The output must outlive the device.
    explicit VoiceDevice(AudioOutput& output);
    ~VoiceDevice();
    VoiceDevice(const VoiceDevice&) = delete;
    VoiceDevice& operator=(const VoiceDevice&) = delete;

    // Closes any open track first. Throws EMCIDeviceError.
    void Open(const std::string& path);
    // Starts the open track from the beginning, or from where Seek put it (no-op
    // when closed or already playing). Throws EMCIDeviceError when the sound system
    // refuses the stream.
    void Play();
    void Close();

    // Playback speed with the pitch kept (TimeStretch::kSlowest..kFastest); 1 plays
    // the track as it is. Kept across openings; a playing track changes at once.
    // Throws EMCIDeviceError as Play does.
    void SetSpeed(double speed);
    double Speed() const { return speed_; }
    // Jumps to `ms` of the track (kept within 0..Length()); playing goes on from there.
    // Throws EMCIDeviceError as Play does.
    void Seek(int64_t ms);

    int64_t Length() const;    // 0 when closed
    int64_t Position() const;  // track time of the samples heard; 0 when closed
    TMPModes Mode() const;
    // Why the sound system dropped the playing track; empty while it is well.
    std::string Failure() const;

    // What the open track holds: its rate, channels, frames and, for MPEG audio,
    // its bit rate in kbit/s (0 otherwise); all 0 when closed.
    struct TrackInfo {
        int sampleRate = 0;
        int channels = 0;
        int kbps = 0;
        int64_t frames = 0;
    };
    TrackInfo Info() const;

    class Track;

  private:
    void StartStream();
    int64_t PositionFrames() const;

    AudioOutput& output_;
    double speed_ = 1.0;
    int64_t startFrame_ = 0;  // the track frame the current stream began at
    std::shared_ptr<Track> track_;
    std::unique_ptr<AudioStream> stream_;
};

}  // namespace murmel
