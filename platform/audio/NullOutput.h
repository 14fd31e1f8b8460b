#pragma once
#include "AudioOutput.h"

namespace murmel {

// Sound goes nowhere, but at the pace of the wall clock, so that positions
// advance and tracks end as they would through a sound card.
class NullOutput : public AudioOutput {
public:
    std::unique_ptr<AudioStream> Play(StreamFormat format,
                                      std::shared_ptr<AudioSource> source) override;
    Clock& OutputClock() override { return clock_; }

private:
    WallClock clock_;
};

}  // namespace murmel
