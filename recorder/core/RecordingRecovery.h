#pragma once
// Recordings left behind by a recorder that crashed, was killed or lost power:
// found by their journals in the temporary folder, mended, and either saved as the
// recorder would have saved them or discarded at the user's word. A recording
// whose writer still runs is never touched.
#include <cstdint>
#include <stdexcept>
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
// exists are removed with their other temporary files. A journal is trusted only
// so far: a track or schedule other than its own base name's files in the folder
// is refused (reported, and the journal taken as damaged), so nothing elsewhere is
// ever read or removed on its word.
RecoveryScan FindOrphanRecordings(const std::string& tempFolder);

struct RecoveredRecording {
    std::string path;  // the saved ".mp3" or ".mvm"
    // When it could not be saved quite as recorded (tune missing) or not where it
    // was meant to go (the target taken since); says where it went instead.
    std::string note;
};

// Another recovery holds the recording (a second `recover` or the recorder's
// dialog at the same moment), or has finished with it already.
class ERecordingTaken : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Saves the mended recording as the recorder would have at the stop: into the
// journal's target while nothing is there, otherwise automatically named after its
// start time in programFolder + "MyVoice/" (under a name not yet taken, as
// automatic saves are): an ".mp3", or with music a ".mvm" holding the track, the
// tune and the schedule. What is at the target by now (a newer recording, any
// other file) is never replaced. The journal is locked throughout, so a recording
// is saved once however many recoveries run (ERecordingTaken for the others).
// Only after the save succeeded are the temporary files removed; any failure
// raises an exception that names the path and leaves every file where it was.
RecoveredRecording RecoverRecording(const OrphanRecording& orphan,
                                    const std::string& programFolder);

// Where RecoverRecording would save the recording now, to show beforehand.
std::string RecoveryDestination(const OrphanRecording& orphan, const std::string& programFolder);

// Removes the recording's temporary files and the journal (the tune is the user's
// and stays). Raises ERecordingTaken while another recovery holds it.
void DiscardRecording(const OrphanRecording& orphan);

// "2026-12-09 14:05" and "1:05.250" for a list of orphans.
std::string OrphanDateText(const OrphanRecording& orphan);
std::string OrphanLengthText(const OrphanRecording& orphan);

}  // namespace murmel
