// murmel-cli recover: recordings left unfinished by a crash or a kill, found by
// their journals in the temporary folder. Without options each is mended and saved
// as the recorder would have saved it; --list only shows them; --discard removes
// them.
#include <cstdio>

#include "Command.h"
#include "PrintableText.h"
#include "UserFolder.h"
#include "RecordingRecovery.h"
#include "TempNames.h"

namespace murmel::cli {
namespace {

// DATE  LENGTH  KIND  TRACK -> DESTINATION[  (PROBLEM)]
void PrintOrphan(const OrphanRecording& orphan) {
    std::string line = OrphanDateText(orphan) + "  " + OrphanLengthText(orphan) + "  " +
                       (orphan.journal.withMusic ? "with music" : "voice only") + "  " +
                       orphan.journal.track + " -> " + RecoveryDestination(orphan, UserFolder());
    if (!orphan.problem.empty()) line += "  (" + orphan.problem + ")";
    std::printf("%s\n", PrintableText(line).c_str());  // journals are anyone's to write
}

int Recover(const Arguments& arguments) {
    ParsedArguments parsed = ParseArguments(arguments, {}, {"--list", "--discard"});
    if (!parsed.positional.empty()) throw UsageError("recover takes no file names");
    const bool list = parsed.Has("--list"), discard = parsed.Has("--discard");
    if (list && discard) throw UsageError("--list and --discard exclude each other");

    RecoveryScan scan = FindOrphanRecordings(TempFolder());
    for (const std::string& note : scan.notes)
        std::fprintf(stderr, "murmel-cli recover: %s\n", PrintableText(note).c_str());
    if (scan.orphans.empty()) std::printf("no unfinished recordings\n");
    int status = 0;
    for (const OrphanRecording& orphan : scan.orphans) {
        if (list) {
            PrintOrphan(orphan);
            continue;
        }
        try {
            if (discard) {
                DiscardRecording(orphan);
                std::printf("discarded %s\n", PrintableText(orphan.journal.track).c_str());
                continue;
            }
            RecoveredRecording saved = RecoverRecording(orphan, UserFolder());
            if (!saved.note.empty())
                std::fprintf(stderr, "murmel-cli recover: %s\n", PrintableText(saved.note).c_str());
            std::printf("recovered %s\n", PrintableText(saved.path).c_str());
        } catch (const ERecordingTaken& taken) {
            // Another recovery saves it (or has): not this run's failure.
            std::fprintf(stderr, "murmel-cli recover: %s\n", PrintableText(taken.what()).c_str());
        } catch (const std::exception& error) {
            // The recording stays where it was for another try.
            std::fprintf(stderr, "murmel-cli recover: %s: %s\n",
                         PrintableText(orphan.journal.track).c_str(),
                         PrintableText(error.what()).c_str());
            status = 1;
        }
    }
    return status;
}

const RegisterCommand recover({"recover", "[--list] [--discard]", Recover});

}  // namespace
}  // namespace murmel::cli
