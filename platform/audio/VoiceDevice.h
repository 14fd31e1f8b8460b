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
    // Starts the open track from the beginning (no-op when closed or already playing).
    // Throws EMCIDeviceError when the sound system refuses the stream.
    void Play();
    void Close();

    int64_t Length() const;    // 0 when closed
    int64_t Position() const;  // from the samples heard; 0 when closed
    TMPModes Mode() const;
    // Why the sound system dropped the playing track; empty while it is well.
    std::string Failure() const;

    class Track;

private:
    AudioOutput& output_;
    std::shared_ptr<Track> track_;
    std::unique_ptr<AudioStream> stream_;
};

}  // namespace murmel
