#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace murmel {

// A Standard MIDI File that starts `startMs` into the given one, so that a tune
// cut together with its voice track plays on from the same moment. Events before
// the cut are dropped; the state they left (tempo, time and key signature, track
// names, system exclusive set-up, and per channel the program, controllers, pitch
// bend and pressure) is carried to the new start, in the order it was set, and
// notes held across the cut are struck again there. Chunks other than tracks are
// copied.
// Throws std::runtime_error "The tune is not a MIDI file: REASON" for bytes that
// are not a Standard MIDI File or whose tracks cannot be read to their end.
std::vector<uint8_t> CutTune(const uint8_t* data, size_t size, int64_t startMs);

}  // namespace murmel
