#pragma once
#include <mutex>
#include <string>

#include "AudioOutput.h"
#include "VoiceDevice.h"

namespace murmel {

// Plays a short sound file without waiting for it; a new sound replaces one still
// playing. Failures are not reported beyond the result: the sound is a courtesy.
class CompletionSound {
public:
    explicit CompletionSound(AudioOutput& output) : device_(output) {}
    bool Play(const std::string& path);
    bool Playing() const;

private:
    mutable std::mutex mutex_;
    VoiceDevice device_;
};

// The process's completion sound on the shared output (MURMEL_AUDIO).
bool PlayCompletionSound(const std::string& path);

}  // namespace murmel
