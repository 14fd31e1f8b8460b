#include "RecordingRecovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "MMUtils.h"
#include "MMWave.h"
#include "PkStreamCol.h"
#include "PkStreamFiles.h"
#include "RecordingSaver.h"
#include "SafeFile.h"
#include "TimeStampName.h"
#include "WaveTrackRepair.h"

namespace murmel {
namespace {

constexpr uint64_t kMaxJournalSize = 65536;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}

// Removes one of the recording's files; a file already gone is no error, and a
// path that is not a regular file is never unlinked.
void RemoveFile(const std::string& path) {
    struct stat info {};
    if (!path.empty() && lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        unlink(path.c_str());
}

std::string BaseOf(const std::string& journalPath) {
    return journalPath.substr(0, journalPath.size() - strlen(kJournalExtension));
}

// The recorder writes these beside the reserved name and nowhere else.
bool IsOwnTrack(const std::string& track, const std::string& base) {
    return track == base + ".mp3" || track == base + ".Mp3";
}
bool IsOwnSchedule(const std::string& schedule, const std::string& base) {
    return schedule == base + ".Ctr";
}

// The files of a recording, the journal first (so a crash half-way never offers a
// saved recording twice) and the reservation last. Only names derived from the
// journal's own name are removed.
void RemoveTemporaries(const OrphanRecording& orphan, bool withTrack) {
    const RecordingJournal& journal = orphan.journal;
    const std::string base = BaseOf(orphan.journalPath);
    RemoveFile(orphan.journalPath);
    if (withTrack && IsOwnTrack(journal.track, base)) RemoveFile(journal.track);
    if (IsOwnSchedule(journal.schedule, base)) RemoveFile(journal.schedule);
    RemoveFile(base);
}

// Holds a recording's journal locked while it is saved or discarded. A journal
// gone or replaced by the time the lock is ours was finished by someone else.
class JournalLock {
  public:
    explicit JournalLock(const OrphanRecording& orphan) {
        const std::string& path = orphan.journalPath;
        fd_ = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0 && errno == ENOENT) throw ERecordingTaken(path + ": already recovered");
        if (fd_ < 0) throw EFileError(path, errno);
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            close(fd_);
            throw ERecordingTaken(path + ": being recovered by another process");
        }
        struct stat held {};
        struct stat now {};
        if (fstat(fd_, &held) != 0 || lstat(path.c_str(), &now) != 0 || held.st_ino != now.st_ino ||
            held.st_dev != now.st_dev) {
            close(fd_);
            throw ERecordingTaken(path + ": already recovered");
        }
    }
    ~JournalLock() { close(fd_); }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

  private:
    int fd_ = -1;
};

// Another recovery is at work on it right now.
bool IsLockedElsewhere(const std::string& journalPath) {
    const int fd = open(journalPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return locked;
}

// For a damaged journal: the track its name implies.
std::string GuessTrack(const std::string& base) {
    for (const char* extension : {".mp3", ".Mp3"})
        if (Exists(base + extension)) return base + extension;
    return base + ".mp3";
}

// A track read where it lies, for mending tracks of any length without holding them.
class TrackFile {
  public:
    explicit TrackFile(const std::string& path)
        : path_(path), fd_(OpenRegularFile(path, &size_, UINT64_MAX)) {}
    ~TrackFile() { close(fd_); }
    TrackFile(const TrackFile&) = delete;
    TrackFile& operator=(const TrackFile&) = delete;
    uint64_t Size() const { return size_; }
    const std::string& Path() const { return path_; }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) const {
        size_t done = 0;
        while (done < count) {
            const ssize_t n =
                pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw EFileError(path_, errno);
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }
    WaveTrackRepairPlan Plan() const {
        return PlanWaveTrackRepair(
            [this](uint64_t offset, uint8_t* out, size_t count) {
                return ReadAt(offset, out, count);
            },
            size_);
    }

  private:
    std::string path_;
    uint64_t size_ = 0;
    int fd_;
};

// The mended track as a source of its bytes: the plan's head, the sound read from
// the track, the plan's tail.
ByteSource MendedTrack(const TrackFile& track, const WaveTrackRepairPlan& plan) {
    auto done = std::make_shared<uint64_t>(0);
    return [&track, &plan, done](uint8_t* out, size_t count) -> size_t {
        size_t given = 0;
        while (given < count && *done < plan.Size()) {
            const uint64_t at = *done;
            size_t n = 0;
            if (at < plan.head.size()) {
                n = static_cast<size_t>(std::min<uint64_t>(count - given, plan.head.size() - at));
                std::memcpy(out + given, plan.head.data() + at, n);
            } else if (at < plan.head.size() + plan.soundBytes) {
                const uint64_t sound = at - plan.head.size();
                n = track.ReadAt(plan.soundOffset + sound, out + given,
                                 static_cast<size_t>(std::min<uint64_t>(count - given,
                                                                        plan.soundBytes - sound)));
                if (n == 0) throw EFileError(track.Path(), "the track shrank while it was read");
            } else {
                const uint64_t tail = at - plan.head.size() - plan.soundBytes;
                n = static_cast<size_t>(std::min<uint64_t>(count - given, plan.tail.size() - tail));
                std::memcpy(out + given, plan.tail.data() + tail, n);
            }
            given += n;
            *done += n;
        }
        return given;
    };
}

void Measure(OrphanRecording& orphan) {
    try {
        orphan.lengthMs = TrackFile(orphan.journal.track).Plan().LengthMs();
    } catch (const std::exception& error) {
        orphan.problem = error.what();
    }
}

// One journal found in the folder: an orphan, a live recording (nothing), or a
// journal without its track (cleaned up).
void Inspect(const std::string& journalPath, RecoveryScan& scan) {
    OrphanRecording orphan;
    orphan.journalPath = journalPath;
    const std::string base = BaseOf(journalPath);
    if (IsLockedElsewhere(journalPath)) return;
    try {
        orphan.journal = RecordingJournal::FromText([&] {
            std::vector<uint8_t> bytes = ReadRegularFile(journalPath, kMaxJournalSize);
            return std::string(bytes.begin(), bytes.end());
        }());
        const RecordingJournal& journal = orphan.journal;
        if (journal.base != base) throw EJournalError("names another recording");
        if (!IsOwnTrack(journal.track, base))
            throw EJournalError("its track " + journal.track + " is not this recording's");
        if (journal.withMusic && !IsOwnSchedule(journal.schedule, base))
            throw EJournalError("its schedule " + journal.schedule + " is not this recording's");
    } catch (const std::exception& error) {
        scan.notes.push_back("damaged journal " + journalPath + " ignored: " + error.what());
        orphan.journalDamaged = true;
        orphan.journal = RecordingJournal{};
        orphan.journal.base = base;
        orphan.journal.track = GuessTrack(base);
        orphan.journal.schedule = base + ".Ctr";
        struct stat info {};
        if (stat(orphan.journal.track.c_str(), &info) == 0) orphan.journal.started = info.st_mtime;
    }
    if (!orphan.journalDamaged && IsProcessRunning(orphan.journal.writer)) return;
    if (!Exists(orphan.journal.track)) {
        if (orphan.journalDamaged) return;  // nothing to offer, nothing known to clean
        scan.notes.push_back("journal " + journalPath + " without its track " +
                             orphan.journal.track + " removed");
        RemoveTemporaries(orphan, false);
        return;
    }
    // Whoever still writes or reads the track owns it, journal or not.
    if (IsFileOpenByAnyProcess(orphan.journal.track)) return;
    Measure(orphan);
    scan.orphans.push_back(std::move(orphan));
}

std::tm StartTime(const RecordingJournal& journal) {
    std::tm local{};
    const std::time_t started = static_cast<std::time_t>(journal.started);
    localtime_r(&started, &local);
    return local;
}

std::string AddNote(const std::string& notes, const std::string& note) {
    return notes.empty() ? note : notes + "; " + note;
}

// Creates PATH empty for us, never replacing anything there (a file, a link, a
// dangling link). Empty on success, otherwise why not.
std::string ReserveNewFile(const std::string& path) {
    // Shared as every saved recording is: the user's umask applies.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? "is taken by another file" : std::strerror(errno);
    close(fd);
    return "";
}

}  // namespace

RecoveryScan FindOrphanRecordings(const std::string& tempFolder) {
    RecoveryScan scan;
    std::vector<std::string> journals;
    if (DIR* folder = opendir(tempFolder.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (!EndsWith(name, kJournalExtension) || name.size() == strlen(kJournalExtension))
                continue;
            struct stat info {};
            const std::string path = tempFolder + name;
            if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid())
                journals.push_back(path);
        }
        closedir(folder);
    }
    std::sort(journals.begin(), journals.end());
    for (const std::string& path : journals) Inspect(path, scan);
    std::sort(scan.orphans.begin(), scan.orphans.end(),
              [](const OrphanRecording& a, const OrphanRecording& b) {
                  return a.journal.started < b.journal.started;
              });
    return scan;
}

RecoveredRecording RecoverRecording(const OrphanRecording& orphan,
                                    const std::string& programFolder) {
    const JournalLock lock(orphan);
    const RecordingJournal& journal = orphan.journal;
    const TrackFile track(journal.track);
    const WaveTrackRepairPlan plan = track.Plan();

    // Written from the track where it lies, piece by piece: a recording of hours is
    // never held in memory.
    RecoveredRecording result;
    std::unique_ptr<FileSource> tune, schedule;
    std::string extension = ".mp3";
    if (journal.withMusic) {
        try {
            tune = std::make_unique<FileSource>(journal.tune);
            schedule = std::make_unique<FileSource>(journal.schedule);
            extension = ".mvm";
        } catch (const std::exception& error) {
            // The voice is what matters: without its tune or schedule it is kept alone.
            result.note = std::string("saved without music: ") + error.what();
            tune.reset();
        }
    }
    auto save = [&](const std::string& path) {
        if (extension == ".mvm") {
            // Compressed, not enciphered, as the recorder packs.
            SavePackedFile(path,
                           {{kVoiceTrackEntry, plan.Size(), MendedTrack(track, plan)},
                            {kTuneEntry, tune->Size(), tune->AsSource()},
                            {kScheduleEntry, schedule->Size(), schedule->AsSource()}},
                           true);
            return;
        }
        const ByteSource mended = MendedTrack(track, plan);
        std::vector<uint8_t> piece(1 << 20);
        ReplaceFileWith(path, FileSharing::Shared, [&](int fd) {
            while (const size_t n = mended(piece.data(), piece.size()))
                if (!WriteAll(fd, piece.data(), n)) return false;
            return true;
        });
    };
    // Into a file reserved empty for it: a failure removes only that reservation.
    auto saveReserved = [&](const std::string& path) {
        try {
            save(path);
        } catch (...) {
            RemoveTemporaryFile(path);
            throw;
        }
    };
    // Named after its start, under a name no recording has yet.
    auto saveInRecordingsFolder = [&] {
        const std::string path = ReserveAutomaticName(RecordingsFolder(programFolder),
                                                      TimeStampName(StartTime(journal)), extension);
        saveReserved(path);
        return path;
    };
    if (!journal.target.empty()) {
        // The recording was meant for this path: completed there while it is free.
        const std::string refusal = ReserveNewFile(journal.target);
        if (refusal.empty()) {
            saveReserved(journal.target);
            result.path = journal.target;
        } else {
            result.path = saveInRecordingsFolder();
            result.note = AddNote(result.note, journal.target + ": " + refusal + "; saved as " +
                                                   result.path + " instead");
        }
    } else {
        result.path = saveInRecordingsFolder();
    }
    RemoveTemporaries(orphan, true);
    return result;
}

std::string RecoveryDestination(const OrphanRecording& orphan, const std::string& programFolder) {
    const RecordingJournal& journal = orphan.journal;
    if (!journal.target.empty() && !Exists(journal.target)) return journal.target;
    const std::string folder = programFolder + "MyVoice/";
    const std::string stamp = TimeStampName(StartTime(journal));
    const std::string extension = journal.withMusic ? ".mvm" : ".mp3";
    for (int n = 1;; ++n) {
        std::string path = folder + stamp + (n > 1 ? "_" + std::to_string(n) : "") + extension;
        if (!Exists(path)) return path;
    }
}

void DiscardRecording(const OrphanRecording& orphan) {
    const JournalLock lock(orphan);
    RemoveTemporaries(orphan, true);
}

std::string OrphanDateText(const OrphanRecording& orphan) {
    std::tm local{};
    const std::time_t started = static_cast<std::time_t>(orphan.journal.started);
    localtime_r(&started, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string OrphanLengthText(const OrphanRecording& orphan) {
    return FormatTimeText(orphan.lengthMs, true);
}

}  // namespace murmel
