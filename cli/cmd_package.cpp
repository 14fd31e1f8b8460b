// The voice-mail package commands: pack, unpack, list, and the raw codec.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <filesystem>
#include <map>
#include <set>

#include "Command.h"
#include "EntryNames.h"
#include "GbkText.h"
#include "PkStreamCol.h"
#include "PkStreamFiles.h"
#include "PrintableText.h"
#include "SafeFile.h"

namespace murmel::cli {
namespace {

// An input file, refused unless it is a regular file; held whole.
ByteStream ReadInput(const std::string& path) {
    try {
        return ReadRegularFile(path, UINT64_MAX);
    } catch (const EFileError& error) {
        throw EFOpenError(path, error.Reason());
    }
}

// Removes the files this run created when a later one fails.
class CreatedFiles {
  public:
    ~CreatedFiles() {
        if (!kept_)
            for (const std::string& path : paths_) unlink(path.c_str());
    }
    void Add(const std::string& path) { paths_.push_back(path); }
    void Keep() { kept_ = true; }

  private:
    std::vector<std::string> paths_;
    bool kept_ = false;
};

// The voice mail's entries as TPkStreams lists them (sorted, the first of equal
// names), with their sizes: read piece by piece, data skipped.
struct ListedEntry {
    std::string name;
    uint64_t size;
};
class EntryLister : public PackReader {
  public:
    void EntryBegins(std::string_view name, uint32_t size) override {
        entries.push_back({std::string(name), size});
    }
    void EntryData(const uint8_t*, size_t) override {
        if (Interrupted()) throw std::runtime_error("interrupted: nothing unpacked");
    }
    void EntryEnds() override {}
    std::vector<ListedEntry> entries;
};

// Reads the voice mail at PATH into `reader`, piece by piece.
void ReadStreamed(const std::string& path, PackReader& reader, bool* compressed = nullptr) {
    std::unique_ptr<FileSource> file;
    try {
        file = std::make_unique<FileSource>(path);
    } catch (const EFileError& error) {
        throw EFOpenError(path, error.Reason());
    }
    bool first = true;
    LoadPackedStreams(
        [&](uint8_t* out, size_t count) {
            const size_t n = file->Read(out, count);
            if (first && n > 0 && compressed) *compressed = out[0] == '&';
            first = false;
            return n;
        },
        file->Size(), reader);
}

std::vector<ListedEntry> ListStreamed(const std::string& path, bool* compressed = nullptr) {
    EntryLister lister;
    ReadStreamed(path, lister, compressed);
    std::vector<ListedEntry>& entries = lister.entries;
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return CompareNamesNoCase(a.name, b.name) < 0;
    });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const auto& a, const auto& b) {
                                  return SameNameNoCase(a.name, b.name);
                              }),
                  entries.end());
    return entries;
}

// Writes each entry, the first of equal names, to its file as it is decoded.
class EntryUnpacker : public PackReader {
  public:
    EntryUnpacker(std::map<std::string, std::string> targets, bool force, CreatedFiles& created)
        : targets_(std::move(targets)), force_(force), created_(created) {}
    void EntryBegins(std::string_view name, uint32_t) override {
        for (auto& [entry, path] : targets_)
            if (!path.empty() && SameNameNoCase(entry, name)) {
                if (force_) {
                    pending_ = std::make_unique<PendingReplacement>(path, FileSharing::Shared);
                    fd_ = pending_->fd;
                } else {
                    fd_ = CreateFileExclusive(path, FileSharing::Shared);
                    created_.Add(path);
                }
                current_ = path;
                path.clear();  // later entries of that name are not written
                return;
            }
    }
    void EntryData(const uint8_t* data, size_t size) override {
        if (Interrupted()) throw std::runtime_error("interrupted before every entry was written");
        if (fd_ >= 0 && !WriteAll(fd_, data, size)) Failed(errno);
    }
    void EntryEnds() override {
        if (fd_ < 0) return;
        if (pending_) {
            pending_->Commit();
            pending_.reset();
        } else if (close(fd_) != 0) {
            fd_ = -1;
            throw EFileError(current_, errno);
        }
        fd_ = -1;
    }
    ~EntryUnpacker() {
        if (fd_ >= 0 && !pending_) close(fd_);
    }

  private:
    [[noreturn]] void Failed(int error) {
        if (pending_) pending_->Fail(error);
        throw EFileError(current_, error);
    }
    std::map<std::string, std::string> targets_;  // entry name -> file, emptied once written
    bool force_;
    CreatedFiles& created_;
    std::unique_ptr<PendingReplacement> pending_;
    std::string current_;
    int fd_ = -1;
};

void Load(TPkStreams& streams, const ParsedArguments& parsed) {
    streams.Key = Utf8ToGbk(parsed.Value("--key"));
    streams.LoadFromFile(parsed.positional[0]);
}

int Pack(const Arguments& arguments) {
    CatchInterrupt();  // a signal must not leave a half-written temporary behind
    ParsedArguments parsed = ParseArguments(arguments, {"--key"}, {"--plain"});
    if (parsed.positional.size() < 2) throw UsageError("expected OUT.mvm and NAME=FILE");
    TPkStreams streams;
    streams.Compressed = !parsed.Has("--plain");
    streams.Key = Utf8ToGbk(parsed.Value("--key"));
    streams.Encrypted = !streams.Key.empty();
    std::vector<std::unique_ptr<FileSource>> files;
    std::vector<PackSource> entries;
    for (size_t i = 1; i < parsed.positional.size(); ++i) {
        const std::string& pair = parsed.positional[i];
        const size_t equals = pair.find('=');
        if (equals == std::string::npos || equals == 0)
            throw UsageError("expected NAME=FILE, got '" + pair + "'");
        const std::string name = Utf8ToGbk(pair.substr(0, equals));
        if (streams.Find(name) || std::any_of(entries.begin(), entries.end(), [&](const auto& e) {
                return SameNameNoCase(e.name, name);
            })) {
            std::fprintf(stderr, "entry %s given twice: the first one is kept\n",
                         EntryNameForDisplay(name).c_str());
            continue;
        }
        if (streams.Encrypted) {
            streams.AddStream(name, ReadInput(pair.substr(equals + 1)));
        } else {
            // Streamed from the files when written: inputs of any size.
            try {
                files.push_back(std::make_unique<FileSource>(pair.substr(equals + 1)));
            } catch (const EFileError& error) {
                throw EFOpenError(pair.substr(equals + 1), error.Reason());
            }
            FileSource* file = files.back().get();
            entries.push_back({name, file->Size(), [file](uint8_t* out, size_t count) {
                                   if (Interrupted())
                                       throw std::runtime_error("interrupted: nothing written");
                                   return file->Read(out, count);
                               }});
        }
        if (Interrupted()) throw std::runtime_error("interrupted: nothing written");
    }
    if (streams.Encrypted)
        streams.SaveToFile(parsed.positional[0]);
    else
        SavePackedFile(parsed.positional[0], entries, streams.Compressed);
    return 0;
}

// A new file of its own: never through a link, never over anything already there.
void CreateEntryFile(const std::string& path, const ByteStream& bytes, CreatedFiles& created) {
    const int fd = CreateFileExclusive(path, FileSharing::Shared);
    created.Add(path);
    const bool written = WriteAll(fd, bytes.data(), bytes.size());
    const int error = errno;
    if (close(fd) != 0 && written) throw EFileError(path, errno);
    if (!written) throw EFileError(path, error);
}

// The file an entry is unpacked to, checked before anything is written: no two
// entries onto one file, nothing already there unless FORCE.
std::string UnpackTarget(const std::filesystem::path& folder, const std::string& entryName,
                         bool force, std::set<std::string>& seen) {
    const std::string name = EntryFileName(entryName);
    if (!seen.insert(name).second)
        throw std::runtime_error("two entries become the file \"" + name + "\": nothing unpacked");
    const std::string path = (folder / name).string();
    struct stat info {};
    if (!force && lstat(path.c_str(), &info) == 0)
        throw std::runtime_error(path + ": already exists: nothing unpacked (--force replaces it)");
    return path;
}

// Without a key: read twice, piece by piece, so a voice mail of hours is never
// held whole: once for the names, which are all checked before the first file is
// written, once to write them.
int UnpackStreamed(const ParsedArguments& parsed, bool force) {
    const std::string& in = parsed.positional[0];
    const std::vector<ListedEntry> entries = ListStreamed(in);
    const std::filesystem::path folder(parsed.positional[1]);
    std::vector<std::string> paths;
    std::map<std::string, std::string> targets;
    std::set<std::string> seen;
    for (const ListedEntry& entry : entries) {
        paths.push_back(UnpackTarget(folder, entry.name, force, seen));
        targets[entry.name] = paths.back();
    }
    std::filesystem::create_directories(folder);
    CreatedFiles created;
    {
        EntryUnpacker unpacker(targets, force, created);
        ReadStreamed(in, unpacker);
    }
    created.Keep();
    for (const std::string& path : paths) std::printf("%s\n", PrintableText(path).c_str());
    return 0;
}

int Unpack(const Arguments& arguments) {
    CatchInterrupt();  // a signal must not leave a half-written temporary behind
    ParsedArguments parsed = ParseArguments(arguments, {"--key"}, {"--force"});
    if (parsed.positional.size() != 2) throw UsageError("expected IN.mvm and DIR");
    const bool force = parsed.Has("--force");
    if (!parsed.Has("--key")) return UnpackStreamed(parsed, force);
    TPkStreams streams;
    Load(streams, parsed);
    // Every name and every target is checked before the first file is written.
    const std::filesystem::path folder(parsed.positional[1]);
    std::vector<std::string> paths;
    std::set<std::string> seen;
    for (size_t i = 0; i < streams.Count(); ++i) {
        paths.push_back(UnpackTarget(folder, streams.Name(i), force, seen));
    }
    std::filesystem::create_directories(folder);
    CreatedFiles created;
    for (size_t i = 0; i < streams.Count(); ++i) {
        if (Interrupted()) throw std::runtime_error("interrupted before every entry was written");
        const ByteStream& bytes = streams.Data(i);
        if (force)
            ReplaceFileAtomically(paths[i], bytes.data(), bytes.size(), FileSharing::Shared);
        else
            CreateEntryFile(paths[i], bytes, created);
    }
    created.Keep();
    for (const std::string& path : paths) std::printf("%s\n", PrintableText(path).c_str());
    return 0;
}

int List(const Arguments& arguments) {
    ParsedArguments parsed = ParseArguments(arguments, {"--key"}, {});
    if (parsed.positional.size() != 1) throw UsageError("expected IN.mvm");
    if (!parsed.Has("--key")) {
        // Read piece by piece: a voice mail of hours is never held whole.
        bool compressed = false;
        const std::vector<ListedEntry> entries = ListStreamed(parsed.positional[0], &compressed);
        std::printf("compressed: %s\nencrypted: no\nentries: %zu\n", compressed ? "yes" : "no",
                    entries.size());
        for (const ListedEntry& entry : entries)
            std::printf("%10llu  %s\n", static_cast<unsigned long long>(entry.size),
                        EntryNameForDisplay(entry.name).c_str());
        return 0;
    }
    TPkStreams streams;
    Load(streams, parsed);
    std::printf("compressed: %s\nencrypted: %s\nentries: %zu\n", streams.Compressed ? "yes" : "no",
                streams.Encrypted ? "yes" : "no", streams.Count());
    for (size_t i = 0; i < streams.Count(); ++i)
        std::printf("%10zu  %s\n", streams.Data(i).size(),
                    EntryNameForDisplay(streams.Name(i)).c_str());
    return 0;
}

int Compress(const Arguments& arguments) {
    CatchInterrupt();  // a signal must not leave a half-written temporary behind
    if (arguments.size() != 2) throw UsageError("expected IN and OUT");
    const ByteStream input = ReadInput(arguments[0]);
    ByteStream output;
    CompressStream(input.data(), input.size(), output);
    ReplaceFileAtomically(arguments[1], output.data(), output.size(), FileSharing::Shared);
    return 0;
}

// Streams the output: a small input may stand for gigabytes.
int Decompress(const Arguments& arguments) {
    CatchInterrupt();  // a signal must not leave a half-written temporary behind
    if (arguments.size() != 2) throw UsageError("expected IN and OUT");
    const ByteStream input = ReadInput(arguments[0]);
    ReplaceFileWith(arguments[1], FileSharing::Shared, [&](int fd) {
        DecompressStreamTo(input.data(), input.size(), [&](const uint8_t* data, size_t size) {
            if (Interrupted())
                throw std::runtime_error("interrupted: " + arguments[1] + " left as it was");
            if (!WriteAll(fd, data, size)) throw EFileError(arguments[1], errno);
        });
        return true;
    });
    return 0;
}

const RegisterCommand pack({"pack", "OUT.mvm NAME=FILE... [--plain] [--key K]", Pack});
const RegisterCommand unpack({"unpack", "IN.mvm DIR [--key K] [--force]", Unpack});
const RegisterCommand list({"list", "IN.mvm [--key K]", List});
const RegisterCommand compress({"compress", "IN OUT", Compress});
const RegisterCommand decompress({"decompress", "IN OUT", Decompress});

}  // namespace
}  // namespace murmel::cli
