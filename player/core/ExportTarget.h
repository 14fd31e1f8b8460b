#pragma once
// Where an export may write: a new name, or a regular file other than the voice mail
// it renders. The MP3 replaces what is there, so the voice mail itself (under any name,
// a hard link included) is refused, as lame and ffmpeg refuse it, and so is anything
// that is not a regular file: a link (even "/dev/stdout"), a device, a FIFO, a folder.
#include <string>

namespace murmel {

// Throws EFileError naming TARGET when an export may not write there.
void CheckExportTarget(const std::string& voiceMail, const std::string& target);

}  // namespace murmel
