#pragma once
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace murmel {

// An export stopped by its caller; nothing was written.
class EExportCancelled : public std::runtime_error {
  public:
    EExportCancelled() : std::runtime_error("Export cancelled") {}
};

struct ExportOptions {
    std::string preset;  // "1K", "2K", "4K" or "8K"; empty: the voice track's own format
    double speed = 1.0;
};

// Told how far the export has come, in milliseconds of the MP3; returns false to
// cancel. Called on the exporting thread.
using ExportProgress = std::function<bool(int64_t doneMs, int64_t totalMs)>;

// Renders the voice mail as it is heard (voice, tune, every volume move, at the
// speed asked) into one plain MP3 with the voice mail's name as its ID3 title. The
// target appears only when complete; an existing one is replaced only then. Without
// a preset the MP3 has the voice track's rate and channels at no less than
// kMinimumKbps. Runs without a window, on any one thread.
// Throws std::runtime_error "Cannot export IN: REASON" for a missing, damaged or
// unplayable voice mail, EFileError naming the target when it cannot be written,
// std::invalid_argument for an unknown preset, EExportCancelled when cancelled.
// A target that is the voice mail itself or not a regular file is refused before any
// work (see ExportTarget.h).
void ExportVoiceMail(const std::string& voiceMail, const std::string& target,
                     const ExportOptions& options, const ExportProgress& progress = {});

constexpr int kMinimumKbps = 32;

}  // namespace murmel
