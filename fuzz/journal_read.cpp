// Any bytes as a recording journal: parsed or refused with EJournalError, and a
// parsed journal written out again reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "RecordingJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const std::string text(reinterpret_cast<const char*>(data), size);
        const murmel::RecordingJournal journal = murmel::RecordingJournal::FromText(text);
        const murmel::RecordingJournal again = murmel::RecordingJournal::FromText(journal.ToText());
        if (again.ToText() != journal.ToText()) std::abort();
    } catch (const murmel::EJournalError&) {
    }
    return 0;
}
