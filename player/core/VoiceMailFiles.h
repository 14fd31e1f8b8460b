#pragma once
#include <string>
#include <vector>

#include "PkStreamCol.h"

namespace murmel {

// The temporary files one opened voice mail is unpacked into, and the empty
// placeholders that reserve their names.
struct VoiceMailFiles {
    std::string voice;     // "Mp3File" -> NAME.tmp.mp3
    std::string music;     // "BGMusic" -> NAME.tmp.mid
    std::string schedule;  // "CtrInfo" -> NAME.tmp.Ctr
    std::vector<std::string> placeholders;

    // Writes each entry (empty when absent) to a fresh temporary file. On failure
    // removes what it made and throws std::runtime_error.
    static VoiceMailFiles Extract(const TPkStreams& streams);

    // Unpacks the voice mail at PATH straight into fresh temporary files, piece by
    // piece: a voice track of hours costs no more memory than a short one. Throws
    // EStreamError or ECorruptFile for a voice mail that cannot be read or is
    // damaged, std::runtime_error for a temporary file that cannot be written; on
    // failure removes what it made.
    static VoiceMailFiles Unpack(const std::string& path);

    // Removes the files and then their placeholders, ignoring any failure.
    void Remove() const;
};

}  // namespace murmel
