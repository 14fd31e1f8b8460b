#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace murmel {

// What a file given to the player holds, told by its bytes, never by its name: a
// voice mail, or a plain recording played as it is (the recorder's ".mp3", which is
// MPEG audio or PCM in a RIFF WAVE, a bare MPEG audio file, a ".wav").
enum class RecordingKind { VoiceMail, RiffWave, MpegAudio, Unknown };

// Up to `count` bytes from `offset`; fewer only at the end.
using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

// The kind of a file of `size` bytes. A file starting as our voice mails do counts as
// one even when damaged further on, so that its unpacking says what is wrong.
RecordingKind DetectRecordingKind(const ReadAt& read, uint64_t size);

// The kind of the file at PATH. A file that cannot be read, or is no regular file,
// counts as a voice mail: unpacking it then names the reason.
RecordingKind ProbeRecordingFile(const std::string& path);

}  // namespace murmel
