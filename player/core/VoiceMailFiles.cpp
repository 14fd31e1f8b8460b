#include "VoiceMailFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

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

}  // namespace

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
