#pragma once
#include <cstdint>
#include <string>

namespace murmel {

// Fade at either end of a cut, so the sound does not jump from or to silence.
constexpr int64_t kTrimFadeMs = 5;

// Writes to TARGET (a new file, created exclusively, mode 0600) the sound of the
// voice track SOURCE from `startMs` to `endMs`, faded over kTrimFadeMs at both
// ends and encoded again as the recorder encodes it, in the same format record
// (MPEG Layer-3 preset or PCM). Sound at position p of the new track is sound at
// startMs + p of the old one, so a schedule shifted by startMs stays in step.
// Times are kept within the track; an empty span is refused
// (std::invalid_argument). Throws what VoiceTrackReader throws, EMMConverterError
// when the format cannot be encoded, EFileError naming TARGET when it cannot be
// written (nothing is left at TARGET then).
void CutVoiceTrack(const std::string& source, const std::string& target, int64_t startMs,
                   int64_t endMs);

}  // namespace murmel
