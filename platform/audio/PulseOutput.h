#pragma once
#include "AudioOutput.h"

struct pa_threaded_mainloop;
struct pa_context;

namespace murmel {

// Playback through the PulseAudio server (PULSE_SERVER or the session's own), one
// server stream per AudioStream, with about 150 ms of buffer so that a stop or a
// volume change is heard at once.
class PulseOutput : public AudioOutput {
public:
    // Connects at once. Throws EAudioOutputError when no server answers.
    PulseOutput();
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    std::unique_ptr<AudioStream> Play(StreamFormat format,
                                      std::shared_ptr<AudioSource> source) override;
    Clock& OutputClock() override { return clock_; }

private:
    void Close();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    WallClock clock_;
};

}  // namespace murmel
