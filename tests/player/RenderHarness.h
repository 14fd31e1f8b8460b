#pragma once
// A player core on the offline renderer, ticked every 50 ms of rendered sound as
// the window's timer would tick it in real time.
#include <memory>
#include <string>
#include <vector>

#include "PlayerCore.h"
#include "RenderOutput.h"

namespace murmel::test {

struct RecordingListener : PlayerListener {
    struct Applied {
        int32_t index;
        int64_t positionMs;
        int32_t volume;
    };
    std::vector<Applied> applied;
    std::vector<int64_t> appliedAtMs;  // render time of each application
    int ended = 0;
    int displays = 0;
    std::string chosen;
    Clock* clock = nullptr;

    void DisplayChanged(const PlayerDisplay&) override { ++displays; }
    std::string ChooseVoiceMail() override { return chosen; }
    void ScheduleApplied(int32_t index, int64_t positionMs, int32_t volume) override {
        applied.push_back({index, positionMs, volume});
        appliedAtMs.push_back(clock ? clock->NowMs() : -1);
    }
    void PlaybackEnded() override { ++ended; }
};

struct RenderedPlayer {
    explicit RenderedPlayer(const std::string& renderPath)
        : output(std::make_unique<RenderOutput>(renderPath)),
          core(std::make_unique<PlayerCore>(*output, listener)) {
        listener.clock = &output->OutputClock();
    }

    int64_t NowMs() { return output->OutputClock().NowMs(); }

    // Ticks for `ms` of rendered sound (or until the progress timer stops).
    void Run(int64_t ms, bool stopWithTimer = true) {
        const int64_t end = NowMs() + ms;
        while (NowMs() < end) {
            if (stopWithTimer && !core->Display().progressTimerEnabled) return;
            next += 50;
            output->OutputClock().WaitUntilMs(next);
            core->TmProgressTimer();
        }
    }

    // Destroys the core (closing as the window does) and completes the WAV file.
    void Finish() {
        core.reset();
        output->Finish();
    }

    RecordingListener listener;
    std::unique_ptr<RenderOutput> output;
    std::unique_ptr<PlayerCore> core;
    int64_t next = 0;
};

}  // namespace murmel::test
