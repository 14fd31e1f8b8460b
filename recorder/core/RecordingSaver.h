#pragma once
// The saving steps of a finished recording: where automatic names go, copying a
// plain recording, packing a voice mail, removing temporary files.
#include <ctime>
#include <string>

#include "PkStreamCol.h"

namespace murmel {

// Entry names of a voice mail, in the order they are added.
constexpr const char* kVoiceTrackEntry = "Mp3File";
constexpr const char* kTuneEntry = "BGMusic";
constexpr const char* kScheduleEntry = "CtrInfo";

// PROGRAM_FOLDER + "MyVoice/", created when missing.
std::string RecordingsFolder(const std::string& programFolder);

// Reserves FOLDER + STAMP + EXTENSION by creating it empty and exclusively; when a
// file of that name exists (two saves in one second) the next free name
// STAMP_2, STAMP_3, ... is taken. Returns the reserved path; throws EFileError.
// No recording the user has is ever replaced by an automatic name.
std::string ReserveAutomaticName(const std::string& folder, const std::string& stamp,
                                 const std::string& extension);

// Copies SOURCE to TARGET, replacing a file of that name (the user chose it).
// The target is written beside and renamed, so a failure leaves the old file.
// Throws EFileError naming the path.
void CopyRecording(const std::string& source, const std::string& target);

// Packs the three files into `container` and saves it at TARGET. The container is
// empty afterwards, also when a step fails (the error is rethrown).
void PackVoiceMailFiles(TPkStreams& container, const std::string& voiceTrack,
                        const std::string& tune, const std::string& schedule,
                        const std::string& target);

// Removes a temporary file; one that does not exist is no error. Never throws.
void RemoveTemporaryFile(const std::string& path) noexcept;

}  // namespace murmel
