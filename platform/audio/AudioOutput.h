#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "Clock.h"

namespace murmel {

// Interleaved 32-bit float frames at the stream's own rate; the backend converts.
struct StreamFormat {
    int sampleRate = 44100;
    int channels = 2;
};

// Produces the sound of one stream. Pulled from the backend's own thread (or from
// the render loop), never concurrently with itself.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Fills up to `frames` frames; fewer than asked means the sound has ended.
    virtual size_t Pull(float* out, size_t frames) = 0;
};

// One playing stream. Destroying it stops the sound at once; the source is not
// pulled again after the destructor returns.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    // Frames (at the stream's rate) that have reached the listener so far.
    virtual int64_t FramesHeard() const = 0;
    // True once the source has ended and everything it gave has been heard.
    virtual bool Drained() const = 0;
    // Why the sound system dropped this stream (the server stopped or hangs); empty
    // while it is well. A failed stream also counts as drained.
    virtual std::string Failure() const { return {}; }
};

// A failure of the sound system itself (no server, a refused stream).
class EAudioOutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where sound goes: a sound server, nowhere at real-time pace, or a file.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Starts playing at once. Throws EAudioOutputError.
    virtual std::unique_ptr<AudioStream> Play(StreamFormat format,
                                              std::shared_ptr<AudioSource> source) = 0;
    // The clock that paces this output's sound.
    virtual Clock& OutputClock() = 0;
};

// The output MURMEL_AUDIO names: "pulse" (default), "null" or "render:PATH".
// Throws EAudioOutputError for an unknown choice or an unreachable server.
std::unique_ptr<AudioOutput> OpenAudioOutput(const std::string& choice);
std::unique_ptr<AudioOutput> OpenAudioOutput();

// The process's own output, opened on first use from MURMEL_AUDIO and kept until exit.
AudioOutput& SharedAudioOutput();

}  // namespace murmel
