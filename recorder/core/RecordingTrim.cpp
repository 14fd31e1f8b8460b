#include "RecordingTrim.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

#include "PkStreamFiles.h"
#include "RecordingKind.h"
#include "RecordingSaver.h"
#include "RiffReader.h"
#include "SafeFile.h"
#include "ScheduleCut.h"
#include "TempNames.h"
#include "Trash.h"
#include "TrimSource.h"
#include "TuneCut.h"
#include "VoiceTrackCut.h"

namespace murmel {
namespace {

constexpr size_t kCopyStep = 65536;

// The temporary files of one trim, removed with their placeholders at the end.
class TrimTempFiles {
  public:
    ~TrimTempFiles() {
        for (const TempFile& file : files_) {
            if (file.fd >= 0) close(file.fd);
            unlink(file.path.c_str());
            unlink(file.placeholder.c_str());
        }
    }
    TempFile& Make(const std::string& extension) {
        files_.push_back(CreateTempFile(extension));
        return files_.back();
    }
    // Closes the file so that others may write it by name; returns the name.
    std::string Closed(TempFile& file) {
        const int fd = std::exchange(file.fd, -1);
        if (fd >= 0 && close(fd) != 0) throw EFileError(file.path, errno);
        return file.path;
    }

  private:
    std::deque<TempFile> files_;  // a deque: Make's references stay valid as files are added
};

bool SameFile(const std::string& in, const std::string& out) {
    struct stat a {
    }, b{};
    if (stat(in.c_str(), &a) == 0 && stat(out.c_str(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    std::error_code error;
    return std::filesystem::weakly_canonical(in, error) ==
           std::filesystem::weakly_canonical(out, error);
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The three entries of a voice mail: the voice track into a temporary file, the
// small tune and schedule into memory. The first entry of each name counts.
class VoiceMailEntries : public PackReader {
  public:
    explicit VoiceMailEntries(TempFile& voice) : voice_(voice) {}
    void EntryBegins(std::string_view name, uint32_t) override {
        target_ = Target::None;
        if (SameNameNoCase(name, kVoiceTrackEntry) && !seenVoice)
            target_ = Target::Voice, seenVoice = true;
        else if (SameNameNoCase(name, kTuneEntry) && !seenTune)
            target_ = Target::Tune, seenTune = true;
        else if (SameNameNoCase(name, kScheduleEntry) && !seenSchedule)
            target_ = Target::Schedule, seenSchedule = true;
    }
    void EntryData(const uint8_t* data, size_t size) override {
        if (target_ == Target::Voice && !WriteAll(voice_.fd, data, size))
            throw EFileError(voice_.path, errno);
        if (target_ == Target::Tune) tune.insert(tune.end(), data, data + size);
        if (target_ == Target::Schedule) schedule.insert(schedule.end(), data, data + size);
    }
    void EntryEnds() override { target_ = Target::None; }

    std::vector<uint8_t> tune, schedule;
    bool seenVoice = false, seenTune = false, seenSchedule = false;

  private:
    enum class Target { None, Voice, Tune, Schedule };
    TempFile& voice_;
    Target target_ = Target::None;
};

ByteSource MemorySource(const std::vector<uint8_t>& bytes) {
    return [&bytes, at = size_t{0}](uint8_t* out, size_t count) mutable {
        count = std::min(count, bytes.size() - at);
        std::memcpy(out, bytes.data() + at, count);
        at += count;
        return count;
    };
}

void WriteFileBytes(TempFile& file, const std::vector<uint8_t>& bytes) {
    if (!WriteAll(file.fd, bytes.data(), bytes.size())) throw EFileError(file.path, errno);
}

void TrimPlain(TrimTempFiles& temps, const std::string& in, const std::string& out, int64_t startMs,
               int64_t endMs) {
    const std::string voice = temps.Closed(temps.Make(".mp3"));
    CutVoiceTrack(in, voice, startMs, endMs);
    FileSource cut(voice);
    ReplaceFileWith(out, FileSharing::Shared, [&](int fd) {
        std::vector<uint8_t> buffer(kCopyStep);
        while (const size_t got = cut.Read(buffer.data(), buffer.size()))
            if (!WriteAll(fd, buffer.data(), got)) return false;
        return true;
    });
}

void TrimVoiceMail(TrimTempFiles& temps, const std::string& in, const std::string& out,
                   int64_t startMs, int64_t endMs) {
    FileSource input(in);
    uint8_t flag = 0;
    const bool compressed = input.Read(&flag, 1) == 1 && flag == '&';
    FileSource again(in);
    TempFile& voice = temps.Make(".mp3");
    VoiceMailEntries entries(voice);
    LoadPackedStreams(again.AsSource(), again.Size(), entries);
    if (!entries.seenVoice) throw std::runtime_error("the voice mail holds no voice track");

    const std::string cutVoice = temps.Closed(temps.Make(".mp3"));
    CutVoiceTrack(temps.Closed(voice), cutVoice, startMs, endMs);
    std::vector<uint8_t> tune;
    if (entries.seenTune && !entries.tune.empty())
        tune = CutTune(entries.tune.data(), entries.tune.size(), startMs);
    TempFile& schedule = temps.Make(".Ctr");
    WriteFileBytes(schedule, entries.schedule);
    TempFile& cutSchedule = temps.Make(".Ctr");
    CutSchedule(temps.Closed(schedule), temps.Closed(cutSchedule), startMs, endMs);

    FileSource voiceSource(cutVoice);
    FileSource scheduleSource(cutSchedule.path);
    std::vector<PackSource> packed = {
        {kVoiceTrackEntry, voiceSource.Size(), voiceSource.AsSource()}};
    if (entries.seenTune) packed.push_back({kTuneEntry, tune.size(), MemorySource(tune)});
    if (entries.seenSchedule)
        packed.push_back({kScheduleEntry, scheduleSource.Size(), scheduleSource.AsSource()});
    SavePackedFile(out, packed, compressed);
}

}  // namespace

bool IsVoiceMailFile(const std::string& path) {
    switch (ProbeRecordingFile(path)) {
        case RecordingKind::VoiceMail:
            return true;
        case RecordingKind::RiffWave:
            return false;
        case RecordingKind::MpegAudio:
            throw std::runtime_error(
                "Only the recorder's own recordings (MPEG or PCM in a RIFF WAVE) and voice mails "
                "can be trimmed");
        case RecordingKind::Unknown:
            break;
    }
    throw std::runtime_error("Not a voice mail or a recording");
}

std::string SaveTrimBeside(const std::string& path, int64_t startMs, int64_t endMs) {
    const std::string target = FreeNameBeside(path);
    TrimRecording(path, target, startMs, endMs);
    return target;
}

void ReplaceWithTrim(const std::string& path, int64_t startMs, int64_t endMs) {
    const std::string trimmed = SaveTrimBeside(path, startMs, endMs);
    try {
        MoveToTrash(path);
    } catch (...) {
        unlink(trimmed.c_str());
        throw;
    }
    if (rename(trimmed.c_str(), path.c_str()) != 0) throw EFileError(trimmed, errno);
}

void TrimRecording(const std::string& in, const std::string& out, int64_t startMs, int64_t endMs) {
    if (SameFile(in, out))
        throw std::invalid_argument("The trimmed recording cannot replace " + in +
                                    " while it is read; choose another name");
    if (startMs < 0 || endMs <= startMs)
        throw std::invalid_argument("The end of the cut must lie after its start");
    TrimTempFiles temps;
    try {
        if (IsVoiceMailFile(in))
            TrimVoiceMail(temps, in, out, startMs, endMs);
        else
            TrimPlain(temps, in, out, startMs, endMs);
    } catch (const EFCreateError&) {
        throw;  // names OUT
    } catch (const EFileError& error) {
        if (error.Path() == out) throw;
        throw std::runtime_error("Cannot trim " + in + ": " + error.what());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error("Cannot trim " + in + ": " + error.what());
    }
}

}  // namespace murmel
