#include "RecordingSaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "PkStreamFiles.h"
#include "SafeFile.h"

namespace murmel {

namespace {
// More saves than this in one second are not a person recording.
constexpr int kMaxNamesPerStamp = 1000;
}  // namespace

std::string RecordingsFolder(const std::string& programFolder) {
    std::string folder = programFolder + "MyVoice/";
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        throw EFileError(FileErrorText(folder, errno));
    return folder;
}

std::string ReserveAutomaticName(const std::string& folder, const std::string& stamp,
                                 const std::string& extension) {
    for (int n = 1; n <= kMaxNamesPerStamp; ++n) {
        std::string path = folder + stamp + (n > 1 ? "_" + std::to_string(n) : "") + extension;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST) throw EFileError(FileErrorText(path, errno));
    }
    throw EFileError(FileErrorText(folder + stamp + extension, EEXIST));
}

void CopyRecording(const std::string& source, const std::string& target) {
    // Piece by piece: a recording of hours is never held in memory.
    FileSource input(source);
    std::vector<uint8_t> piece(1 << 20);
    ReplaceFileWith(target, FileSharing::Shared, [&](int fd) {
        while (const size_t n = input.Read(piece.data(), piece.size()))
            if (!WriteAll(fd, piece.data(), n)) return false;
        return true;
    });
}

void PackVoiceMailFiles(TPkStreams& container, const std::string& voiceTrack,
                        const std::string& tune, const std::string& schedule,
                        const std::string& target) {
    try {
        if (container.Encrypted && !container.Key.empty()) {
            // Enciphered only in memory; nothing of ours asks for it.
            for (auto [name, path] :
                 {std::pair{kVoiceTrackEntry, &voiceTrack}, std::pair{kTuneEntry, &tune},
                  std::pair{kScheduleEntry, &schedule}}) {
                std::vector<uint8_t> bytes = ReadRegularFile(*path, UINT64_MAX);
                container.AddStream(name, bytes.data(), bytes.size());
            }
            container.SaveToFile(target);
        } else {
            // Streamed from the files: the voice track of a long recording is never
            // held whole.
            FileSource voice(voiceTrack), music(tune), volume(schedule);
            SavePackedFile(target,
                           {{kVoiceTrackEntry, voice.Size(), voice.AsSource()},
                            {kTuneEntry, music.Size(), music.AsSource()},
                            {kScheduleEntry, volume.Size(), volume.AsSource()}},
                           container.Compressed);
        }
    } catch (...) {
        container.Clear();  // the next packaging starts from an empty container
        throw;
    }
    container.Clear();
}

void RemoveTemporaryFile(const std::string& path) noexcept {
    if (!path.empty()) unlink(path.c_str());
}

}  // namespace murmel
