#pragma once
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "AudioOutput.h"

namespace murmel {

// Offline output for tests and inspection: what would be heard is mixed into a
// 44.1 kHz stereo 16-bit WAV file, as fast as the machine can. Nothing plays by
// itself: sound is rendered while someone waits on the output's clock, so a 50 ms
// tick happens after every 50 ms of rendered sound, exactly as in real time.
// Single-threaded: play, wait and destroy streams from one thread.
class RenderOutput : public AudioOutput {
  public:
    static constexpr int kRate = 44100;

    // Takes the rendered sound instead of a file (an export's encoder).
    class Sink {
      public:
        virtual ~Sink() = default;
        // Interleaved stereo 16-bit frames, in order; may throw, which ends the wait.
        virtual void Write(const int16_t* samples, size_t frames) = 0;
    };

    // Throws EAudioOutputError when the file cannot be created.
    explicit RenderOutput(const std::string& path);
    // The sink must outlive the output.
    explicit RenderOutput(Sink& sink);
    ~RenderOutput() override;
    RenderOutput(const RenderOutput&) = delete;
    RenderOutput& operator=(const RenderOutput&) = delete;

    std::unique_ptr<AudioStream> Play(StreamFormat format,
                                      std::shared_ptr<AudioSource> source) override;
    Clock& OutputClock() override { return clock_; }

    int64_t FramesRendered() const { return rendered_; }
    // Mixes every playing stream up to that many frames from the start.
    void RenderUntil(int64_t frame);
    // Completes the WAV header; further rendering is discarded. Called by the destructor.
    void Finish();

    class Stream;

  private:
    class RenderClock : public Clock {
      public:
        explicit RenderClock(RenderOutput& owner) : owner_(owner) {}
        int64_t NowMs() override { return owner_.rendered_ * 1000 / kRate; }
        void WaitUntilMs(int64_t ms) override { owner_.RenderUntil(ms * kRate / 1000); }

      private:
        RenderOutput& owner_;
    };

    void Remove(Stream* stream);
    void WriteHeader(uint32_t dataBytes);

    std::FILE* file_ = nullptr;
    Sink* sink_ = nullptr;
    std::string path_;
    int64_t rendered_ = 0;
    uint64_t dataBytes_ = 0;
    std::vector<Stream*> streams_;
    std::vector<float> mix_;
    RenderClock clock_{*this};
};

}  // namespace murmel
