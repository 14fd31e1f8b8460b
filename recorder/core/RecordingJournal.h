#pragma once
// The small note kept beside a recording in the temporary folder while it runs:
// what it is, who writes it, since when, and where its files are. Written when the
// recording starts and removed when it is saved or discarded, so a note still
// there after its writer is gone marks a recording that can be recovered.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "ProcessIdentity.h"

namespace murmel {

class EJournalError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct RecordingJournal {
    std::string program;  // "Murmel" or "murmel-cli"
    ProcessIdentity writer;
    int64_t started = 0;  // seconds since the epoch
    std::string base;     // the reserved temporary name the other files derive from
    std::string track;    // the voice track being written
    // Where the finished recording goes; empty: named automatically in "MyVoice".
    std::string target;
    bool withMusic = false;
    std::string tune;
    std::string schedule;

    // A note for a recording this process starts now.
    static RecordingJournal ForThisProcess(std::string program, std::string base,
                                           std::string track);

    std::string ToText() const;
    // Raises EJournalError naming what is wrong.
    static RecordingJournal FromText(const std::string& text);
};

// The journal's name for a reserved base name.
std::string JournalPathFor(const std::string& base);
constexpr const char* kJournalExtension = ".journal";

// Writes the journal (atomically, private to the user) beside the recording's
// base name; raises EFileError naming the path.
void WriteRecordingJournal(const RecordingJournal& journal);
// Removes it; a journal already gone is no error.
void RemoveRecordingJournal(const RecordingJournal& journal);

}  // namespace murmel
