#pragma once
// Recordings left behind by a recorder that crashed, was killed or lost power:
// found by their journals in the temporary folder, mended, and either saved as the
// recorder would have saved them or discarded at the user's word. A recording
// whose writer still runs is never touched.
#include <cstdint>
#include <string>
#include <vector>

#include "RecordingJournal.h"

namespace murmel {

struct OrphanRecording {
    std::string journalPath;
    RecordingJournal journal;  // for a damaged journal: only base and track, as guessed
    bool journalDamaged = false;
    int64_t lengthMs = 0;  // sound in the mended track
    std::string problem;   // why the track cannot be mended; empty when it can
};

struct RecoveryScan {
    std::vector<OrphanRecording> orphans;
    // What was noticed on the way (damaged journals, journals without a track that
    // were cleaned up), one line each, to show or print.
    std::vector<std::string> notes;
};

// Looks through `tempFolder` for journals of this user whose writer is gone and
// whose track no process holds open. Journals pointing at a track that no longer
// exists are removed with their other temporary files.
RecoveryScan FindOrphanRecordings(const std::string& tempFolder);

struct RecoveredRecording {
    std::string path;  // the saved ".mp3" or ".mvm"
    std::string note;  // when it could not be saved quite as recorded (tune missing)
};

// Saves the mended recording as the recorder would have at the stop: into the
// journal's target, or automatically named after its start time in
// programFolder + "MyVoice/" (under a name not yet taken, as automatic saves are):
// an ".mp3", or with music
// a ".mvm" holding the track, the tune and the schedule. Only after the save
// succeeded are the temporary files removed; any failure raises an exception that
// names the path and leaves every file of the recording where it was.
RecoveredRecording RecoverRecording(const OrphanRecording& orphan,
                                    const std::string& programFolder);

// Removes the recording's temporary files and the journal (the tune is the user's
// and stays).
void DiscardRecording(const OrphanRecording& orphan);

// "2026-12-09 14:05" and "1:05.250" for a list of orphans.
std::string OrphanDateText(const OrphanRecording& orphan);
std::string OrphanLengthText(const OrphanRecording& orphan);

}  // namespace murmel
