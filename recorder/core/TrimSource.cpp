#include "TrimSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string_view>

#include "PkStreamFiles.h"
#include "RecordingSaver.h"
#include "RecordingTrim.h"
#include "SafeFile.h"
#include "TempNames.h"
#include "VoiceTrackReader.h"

namespace murmel {
namespace {

constexpr size_t kDecodeStep = 16384;  // frames a read

bool IsVoiceTrackName(std::string_view name) {
    const std::string_view wanted = kVoiceTrackEntry;
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The first voice track entry of a voice mail, into an open file.
class VoiceTrackWriter : public PackReader {
  public:
    VoiceTrackWriter(int fd, const std::string& path) : fd_(fd), path_(path) {}
    void EntryBegins(std::string_view name, uint32_t) override {
        current_ = !seen && IsVoiceTrackName(name);
        seen = seen || current_;
    }
    void EntryData(const uint8_t* data, size_t size) override {
        if (current_ && !WriteAll(fd_, data, size)) throw EFileError(path_, errno);
    }
    void EntryEnds() override { current_ = false; }
    bool seen = false;

  private:
    int fd_;
    std::string path_;
    bool current_ = false;
};

}  // namespace

TrimSource::TrimSource(const std::string& path) : path_(path) {
    try {
        voiceMail_ = IsVoiceMailFile(path);
        voiceTrack_ = path;
        if (voiceMail_) {
            TempFile track = CreateTempFile(".mp3");
            voiceTrack_ = track.path;
            placeholder_ = track.placeholder;
            VoiceTrackWriter writer(track.fd, track.path);
            try {
                FileSource input(path);
                LoadPackedStreams(input.AsSource(), input.Size(), writer);
            } catch (...) {
                close(track.fd);
                throw;
            }
            if (close(track.fd) != 0) throw EFileError(track.path, errno);
            if (!writer.seen) throw std::runtime_error("the voice mail holds no voice track");
        }
        lengthMs_ = VoiceTrackReader(voiceTrack_).LengthMs();
    } catch (const std::runtime_error& error) {
        RemoveTemporary();
        throw std::runtime_error("Cannot trim " + path + ": " + error.what());
    }
}

TrimSource::~TrimSource() { RemoveTemporary(); }

void TrimSource::RemoveTemporary() {
    if (placeholder_.empty()) return;
    unlink(voiceTrack_.c_str());
    unlink(placeholder_.c_str());
    placeholder_.clear();
}

std::vector<WaveformPeak> TrimSource::Peaks(int columns, const std::atomic<bool>* cancel) const {
    std::vector<WaveformPeak> peaks(static_cast<size_t>(std::max(columns, 0)));
    if (peaks.empty()) return peaks;
    VoiceTrackReader reader(voiceTrack_);
    const int64_t total = std::max<int64_t>(reader.TotalFrames(), 1);
    const auto channels = static_cast<size_t>(reader.Channels());
    std::vector<float> decoded(kDecodeStep * channels);
    int64_t frame = 0;
    while (!(cancel && cancel->load(std::memory_order_relaxed))) {
        const size_t got = reader.Read(decoded.data(), kDecodeStep);
        if (got == 0) break;
        for (size_t i = 0; i < got; ++i, ++frame) {
            const float value = decoded[i * channels];
            WaveformPeak& peak = peaks[static_cast<size_t>(frame * columns / total)];
            peak.low = std::min(peak.low, value);
            peak.high = std::max(peak.high, value);
        }
    }
    return peaks;
}

std::string FreeNameBeside(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : "";
    for (int n = 1;; ++n) {
        const std::string name = stem + "-" + std::to_string(n) + extension;
        struct stat info {};
        if (lstat(name.c_str(), &info) != 0 && errno == ENOENT) return name;
    }
}

}  // namespace murmel
