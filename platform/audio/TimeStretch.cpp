#include "TimeStretch.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>

namespace murmel {
namespace {

constexpr size_t kFeedFrames = 2048;
// Shorter sequences than SoundTouch's music defaults keep syllables crisp.
constexpr int kSequenceMs = 40;
constexpr int kSeekWindowMs = 15;
constexpr int kOverlapMs = 8;

}  // namespace

TimeStretch::TimeStretch(std::shared_ptr<AudioSource> input, StreamFormat format, double speed,
                         int64_t inputFrames)
    : input_(std::move(input)),
      stretch_(std::make_unique<soundtouch::SoundTouch>()),
      channels_(format.channels),
      expected_(std::llround(static_cast<double>(std::max<int64_t>(inputFrames, 0)) / speed)) {
    stretch_->setSampleRate(static_cast<unsigned>(format.sampleRate));
    stretch_->setChannels(static_cast<unsigned>(format.channels));
    stretch_->setTempo(speed);
    stretch_->setSetting(SETTING_SEQUENCE_MS, kSequenceMs);
    stretch_->setSetting(SETTING_SEEKWINDOW_MS, kSeekWindowMs);
    stretch_->setSetting(SETTING_OVERLAP_MS, kOverlapMs);
    block_.resize(kFeedFrames * static_cast<size_t>(channels_));
}

TimeStretch::~TimeStretch() = default;

void TimeStretch::Feed() {
    const size_t got = input_->Pull(block_.data(), kFeedFrames);
    if (got > 0) stretch_->putSamples(block_.data(), static_cast<unsigned>(got));
    if (got < kFeedFrames) {
        inputEnded_ = true;
        stretch_->flush();  // pushes out what it holds, padded with silence
    }
}

size_t TimeStretch::Pull(float* out, size_t frames) {
    frames =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(frames), expected_ - produced_));
    size_t filled = 0;
    while (filled < frames) {
        const unsigned got = stretch_->receiveSamples(out + filled * static_cast<size_t>(channels_),
                                                      static_cast<unsigned>(frames - filled));
        filled += got;
        if (got > 0) continue;
        if (!inputEnded_) {
            Feed();
            continue;
        }
        // The stretcher rounds its output to whole sequences: silence makes up
        // the last few frames.
        std::fill(out + filled * static_cast<size_t>(channels_),
                  out + frames * static_cast<size_t>(channels_), 0.0f);
        filled = frames;
    }
    produced_ += static_cast<int64_t>(filled);
    return filled;
}

}  // namespace murmel
