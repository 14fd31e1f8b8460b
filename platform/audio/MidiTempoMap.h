#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace murmel {

// Where a Standard MIDI File's ticks fall in time: its division and every tempo
// change of every track. The music device seeks by tick, the player by time.
class MidiTempoMap {
  public:
    static constexpr uint32_t kDefaultTempo = 500000;  // µs per beat until the first change

    // Reads the map from a whole MIDI file. Damage never throws: what cannot be
    // read counts as no further tempo changes (a file without a usable header
    // gives the default tempo at 480 ticks a beat).
    static MidiTempoMap Read(const uint8_t* data, size_t size);

    // The tick heard at `ms` of the tune played at its own tempo.
    int64_t TickAt(int64_t ms) const;

    struct Change {
        int64_t tick;
        uint32_t tempo;  // µs per beat
    };
    const std::vector<Change>& Changes() const { return changes_; }
    int Division() const { return division_; }

  private:
    int division_ = 480;           // ticks per beat, or ticks per second for SMPTE timing
    bool ticksPerSecond_ = false;  // SMPTE timing: tempo changes do not apply
    std::vector<Change> changes_;  // sorted by tick
};

}  // namespace murmel
