#pragma once
// Benchmark inputs: a voice-mail-like container image and English-like text.
#include <cstdint>
#include <string>
#include <vector>

namespace murmel::bench {

using Bytes = std::vector<uint8_t>;

// What a long voice mail holds: a RIFF WAVE header and MPEG Layer-3 frames
// (frame headers, side information, dense coded audio, some silent frames),
// a MIDI tune and a volume schedule, in the container's entry layout.
Bytes VoiceMailImage(size_t size);

// Sentences of words drawn with a Zipf-like skew from a fixed vocabulary.
Bytes EnglishLikeText(size_t size);

// Real prose and lists: the system's package change logs and copyright files,
// in sorted order, up to `size` bytes (fewer where the system has less).
Bytes SystemText(size_t size);

}  // namespace murmel::bench
