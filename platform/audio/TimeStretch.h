#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "AudioOutput.h"

namespace soundtouch {
class SoundTouch;
}

namespace murmel {

// Plays a source faster or slower with its pitch kept (SoundTouch, tuned for
// speech). The output holds exactly round(inputFrames / speed) frames, so output
// frame n stands for input frame n × speed and positions can be told from it.
class TimeStretch : public AudioSource {
  public:
    static constexpr double kSlowest = 0.5;
    static constexpr double kFastest = 2.0;

    // `inputFrames` is how many frames the input still holds (it may end sooner).
    TimeStretch(std::shared_ptr<AudioSource> input, StreamFormat format, double speed,
                int64_t inputFrames);
    ~TimeStretch() override;
    TimeStretch(const TimeStretch&) = delete;
    TimeStretch& operator=(const TimeStretch&) = delete;

    size_t Pull(float* out, size_t frames) override;

  private:
    void Feed();

    std::shared_ptr<AudioSource> input_;
    std::unique_ptr<soundtouch::SoundTouch> stretch_;
    int channels_;
    int64_t expected_;  // output frames in all
    int64_t produced_ = 0;
    bool inputEnded_ = false;
    std::vector<float> block_;
};

}  // namespace murmel
