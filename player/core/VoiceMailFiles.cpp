#include "VoiceMailFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <memory>
#include <utility>

#include "GbkText.h"
#include "PkStreamFiles.h"
#include "SafeFile.h"
#include "TempNames.h"

namespace murmel {
namespace {

void WriteAll(int fd, const ByteStream& bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const std::string reason = std::strerror(errno);
            close(fd);
            throw std::runtime_error("Unable to write to " + path + ": " + reason);
        }
        done += static_cast<size_t>(written);
    }
    if (close(fd) != 0)
        throw std::runtime_error("Unable to write to " + path + ": " + std::strerror(errno));
}

// One entry to a fresh temporary NAME.tmp + extension, created exclusively: a
// file someone else put at that name is never written to (nor read back).
std::string ExtractEntry(const TPkStreams& streams, const char* name, const char* extension,
                         VoiceMailFiles& files) {
    const TempFile file = CreateTempFile(extension);
    files.placeholders.push_back(file.placeholder);
    const ByteStream* content = streams.Find(name);
    WriteAll(file.fd, content ? *content : ByteStream(), file.path);
    return file.path;
}

// The entries a player needs, each written to its temporary file as it is
// decoded; of entries with the same name the first counts, as for TPkStreams.
class EntryWriter : public PackReader {
  public:
    struct Target {
        const char* name;
        TempFile file;
        bool seen = false;
    };
    explicit EntryWriter(std::vector<Target>& targets) : targets_(targets) {}

    void EntryBegins(std::string_view name, uint32_t) override {
        current_ = nullptr;
        for (Target& target : targets_)
            if (!target.seen && SameNameNoCase(name, target.name)) {
                target.seen = true;
                current_ = &target;
            }
    }
    void EntryData(const uint8_t* data, size_t size) override {
        if (current_ && !murmel::WriteAll(current_->file.fd, data, size))
            throw std::runtime_error("Unable to write to " + current_->file.path + ": " +
                                     std::strerror(errno));
    }
    void EntryEnds() override { current_ = nullptr; }

  private:
    std::vector<Target>& targets_;
    Target* current_ = nullptr;
};

}  // namespace

VoiceMailFiles VoiceMailFiles::Unpack(const std::string& path) {
    std::unique_ptr<FileSource> input;
    try {
        input = std::make_unique<FileSource>(path);
    } catch (const EFileError& error) {
        throw EFOpenError(path, error.Reason());
    }
    VoiceMailFiles files;
    std::vector<EntryWriter::Target> targets;
    try {
        for (auto [name, extension] : {std::pair{"Mp3File", ".mp3"}, std::pair{"BGMusic", ".mid"},
                                       std::pair{"CtrInfo", ".Ctr"}}) {
            targets.push_back({name, CreateTempFile(extension)});
            files.placeholders.push_back(targets.back().file.placeholder);
        }
        EntryWriter writer(targets);
        LoadPackedStreams(
            [&](uint8_t* out, size_t count) {
                try {
                    return input->Read(out, count);
                } catch (const EFileError& error) {
                    throw EStreamError(error.what());  // the voice mail, not ours
                }
            },
            input->Size(), writer);
        for (EntryWriter::Target& target : targets) {
            const int fd = std::exchange(target.file.fd, -1);
            if (close(fd) != 0)
                throw std::runtime_error("Unable to write to " + target.file.path + ": " +
                                         std::strerror(errno));
        }
    } catch (...) {
        for (const EntryWriter::Target& target : targets) {
            if (target.file.fd >= 0) close(target.file.fd);
            unlink(target.file.path.c_str());
        }
        files.Remove();
        throw;
    }
    files.voice = targets[0].file.path;
    files.music = targets[1].file.path;
    files.schedule = targets[2].file.path;
    return files;
}

VoiceMailFiles VoiceMailFiles::Extract(const TPkStreams& streams) {
    VoiceMailFiles files;
    try {
        files.voice = ExtractEntry(streams, "Mp3File", ".mp3", files);
        files.music = ExtractEntry(streams, "BGMusic", ".mid", files);
        files.schedule = ExtractEntry(streams, "CtrInfo", ".Ctr", files);
    } catch (...) {
        // The half-made file exists although its name was not yet recorded; the
        // placeholders come in the order of the extensions.
        const char* extensions[] = {".mp3", ".mid", ".Ctr"};
        for (size_t i = 0; i < files.placeholders.size() && i < 3; ++i)
            unlink((files.placeholders[i] + extensions[i]).c_str());
        files.Remove();
        throw;
    }
    return files;
}

void VoiceMailFiles::Remove() const {
    for (const std::string* path : {&voice, &music, &schedule})
        if (!path->empty()) unlink(path->c_str());
    for (const std::string& placeholder : placeholders) unlink(placeholder.c_str());
}

}  // namespace murmel
