#pragma once
#include <cstdint>
#include <string>

namespace murmel {

// Cuts the recording IN (a plain recording, MPEG audio or PCM in RIFF WAVE, or a
// voice mail) to the span from `startMs` to `endMs` and writes it to OUT, through
// a sibling temporary file renamed over OUT when complete (the old OUT survives
// every failure). A voice mail's tune and schedule are cut at the same moment
// (CutTune, CutSchedule) and it is packed as the original was. The voice track
// keeps its format record (CutVoiceTrack).
// Throws std::invalid_argument when OUT is IN or the span is empty,
// std::runtime_error "Cannot trim IN: REASON" for a recording that cannot be
// read, and EFileError naming OUT when it cannot be written.
void TrimRecording(const std::string& in, const std::string& out, int64_t startMs, int64_t endMs);

// Trims PATH into a new file beside it (FreeNameBeside) and returns that name.
std::string SaveTrimBeside(const std::string& path, int64_t startMs, int64_t endMs);

// Replaces PATH by its trimmed self: the trim is written beside it, the original is
// moved to the desktop's trash, and the trim takes its name. When the original
// cannot be moved, the trim is removed and the error (EFileError) passes on.
void ReplaceWithTrim(const std::string& path, int64_t startMs, int64_t endMs);

// True when PATH holds a voice mail, false for a plain recording (told by its bytes).
// A bare MPEG file or a file that is neither throws: there is nothing to trim.
bool IsVoiceMailFile(const std::string& path);

}  // namespace murmel
