#include "PkStreamFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <limits>

#include "GbkText.h"
#include "SafeFile.h"

namespace murmel {
namespace {

constexpr uint8_t kSignature[8] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr size_t kMaxNameLength = 0xFFFF;     // the name length is a 16-bit field
constexpr uint64_t kMaxEntrySize = 0x7FFFFFFF;  // the data size is a signed 32-bit field
constexpr size_t kPiece = 64 * 1024;

void PutInt(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The image read out in pieces: each entry's fields, then its data from its source.
class ImageSource {
  public:
    explicit ImageSource(std::vector<const PackSource*> entries) : entries_(std::move(entries)) {
        pending_.assign(std::begin(kSignature), std::end(kSignature));
        PutInt(pending_, static_cast<uint32_t>(entries_.size()), 4);
    }
    uint64_t Size() const {
        uint64_t size = sizeof kSignature + 4;
        for (const PackSource* entry : entries_) size += 2 + entry->name.size() + 4 + entry->size;
        return size;
    }
    size_t Read(uint8_t* out, size_t count) {
        size_t done = 0;
        while (done < count) {
            if (taken_ < pending_.size()) {
                const size_t n = std::min(count - done, pending_.size() - taken_);
                std::memcpy(out + done, pending_.data() + taken_, n);
                taken_ += n;
                done += n;
            } else if (dataLeft_ > 0) {
                const size_t n = entries_[next_ - 1]->read(
                    out + done, static_cast<size_t>(std::min<uint64_t>(count - done, dataLeft_)));
                if (n == 0) throw EReadError();  // the entry's file shrank
                dataLeft_ -= n;
                done += n;
            } else if (next_ < entries_.size()) {
                const PackSource& entry = *entries_[next_++];
                pending_.clear();
                taken_ = 0;
                PutInt(pending_, static_cast<uint32_t>(entry.name.size()), 2);
                pending_.insert(pending_.end(), entry.name.begin(), entry.name.end());
                PutInt(pending_, static_cast<uint32_t>(entry.size), 4);
                dataLeft_ = entry.size;
            } else {
                break;
            }
        }
        return done;
    }

  private:
    std::vector<const PackSource*> entries_;
    std::vector<uint8_t> pending_;
    size_t taken_ = 0;
    size_t next_ = 0;
    uint64_t dataLeft_ = 0;
};

// The image parsed as it arrives, in any pieces.
class ImageParser {
  public:
    explicit ImageParser(PackReader& reader) : reader_(reader) {}

    void Take(const uint8_t* data, size_t size) {
        while (size > 0) {
            if (state_ == State::Data) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(size, dataLeft_));
                reader_.EntryData(data, n);
                data += n;
                size -= n;
                dataLeft_ -= n;
                if (dataLeft_ == 0) EndEntry();
                continue;
            }
            if (state_ == State::Done) return;  // bytes past the last entry mean nothing
            const size_t n = std::min(size, wanted_ - field_.size());
            field_.insert(field_.end(), data, data + n);
            data += n;
            size -= n;
            if (field_.size() == wanted_) FieldComplete();
        }
    }

    // The data has ended: an entry or field still wanted runs past it.
    void Finish() {
        if (state_ == State::Signature) throw ECorruptFile("File is corrupt.");
        if (state_ != State::Done) throw EReadError();
    }

  private:
    enum class State { Signature, Count, NameLength, Name, Size, Data, Done };

    uint32_t Int() const {
        uint32_t value = 0;
        for (size_t i = field_.size(); i-- > 0;) value = (value << 8) | field_[i];
        return value;
    }
    void Want(State state, size_t bytes) {
        state_ = state;
        wanted_ = bytes;
        field_.clear();
    }
    void NextEntry() {
        if (entriesLeft_-- == 0) {
            Want(State::Done, 0);
        } else {
            Want(State::NameLength, 2);
        }
    }
    void EndEntry() {
        reader_.EntryEnds();
        NextEntry();
    }
    void FieldComplete() {
        switch (state_) {
            case State::Signature:
                if (!std::equal(field_.begin(), field_.end(), std::begin(kSignature)))
                    throw ECorruptFile("File is corrupt.");
                Want(State::Count, 4);
                break;
            case State::Count: {
                const auto count = static_cast<int32_t>(Int());
                if (count < 0) throw ECorruptFile("File is corrupt.");
                entriesLeft_ = static_cast<uint32_t>(count);
                NextEntry();
                break;
            }
            case State::NameLength:
                Want(State::Name, Int());
                if (wanted_ == 0) FieldComplete();
                break;
            case State::Name:
                name_.assign(field_.begin(), field_.end());
                Want(State::Size, 4);
                break;
            case State::Size: {
                const auto size = static_cast<int32_t>(Int());
                if (size < 0) throw ECorruptFile("File is corrupt.");
                reader_.EntryBegins(name_, static_cast<uint32_t>(size));
                dataLeft_ = static_cast<uint32_t>(size);
                state_ = State::Data;
                if (dataLeft_ == 0) EndEntry();
                break;
            }
            case State::Data:
            case State::Done:
                break;
        }
    }

    PackReader& reader_;
    State state_ = State::Signature;
    size_t wanted_ = sizeof kSignature;
    std::vector<uint8_t> field_;
    std::string name_;
    uint32_t entriesLeft_ = 0;
    uint64_t dataLeft_ = 0;
};

// Hands an enciphered file's entries, loaded whole, to the reader.
void ReadLoaded(const TPkStreams& streams, PackReader& reader) {
    for (size_t i = 0; i < streams.Count(); ++i) {
        const ByteStream& data = streams.Data(i);
        reader.EntryBegins(streams.Name(i), static_cast<uint32_t>(data.size()));
        if (!data.empty()) reader.EntryData(data.data(), data.size());
        reader.EntryEnds();
    }
}

// An error of the reader or the source, carried through the codec untouched.
struct ReaderFailed {
    std::exception_ptr error;
};

}  // namespace

void SavePackedStreams(const std::vector<PackSource>& entries, bool compressed,
                       const ByteSink& sink) {
    // As TPkStreams::AddStream: empty names ignored, the first of equal names kept.
    std::vector<const PackSource*> sorted;
    for (const PackSource& entry : entries) {
        if (entry.name.empty()) continue;
        if (entry.name.size() > kMaxNameLength) throw std::length_error("Entry name too long");
        if (entry.size > kMaxEntrySize) throw std::length_error("Entry too large");
        sorted.push_back(&entry);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const PackSource* a, const PackSource* b) {
        return CompareNamesNoCase(a->name, b->name) < 0;
    });
    sorted.erase(std::unique(sorted.begin(), sorted.end(),
                             [](const PackSource* a, const PackSource* b) {
                                 return SameNameNoCase(a->name, b->name);
                             }),
                 sorted.end());
    ImageSource image(std::move(sorted));
    const uint64_t size = image.Size();
    // The compressed size field holds a signed 32-bit size.
    if (compressed && size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        throw ETooLarge(size, static_cast<uint64_t>(std::numeric_limits<int32_t>::max()));
    const uint8_t flags[2] = {static_cast<uint8_t>(compressed ? '&' : ' '), ' '};
    sink(flags, sizeof flags);
    const ByteSource read = [&image](uint8_t* out, size_t count) { return image.Read(out, count); };
    if (compressed) {
        CompressStreamFrom(read, size, sink);
        return;
    }
    std::vector<uint8_t> piece(kPiece);
    while (const size_t n = image.Read(piece.data(), piece.size())) sink(piece.data(), n);
}

void SavePackedFile(const std::string& target, const std::vector<PackSource>& entries,
                    bool compressed) {
    struct WriteFailed {
        int error;
    };
    try {
        ReplaceFileWith(target, FileSharing::Shared, [&](int fd) {
            try {
                SavePackedStreams(entries, compressed, [fd](const uint8_t* data, size_t size) {
                    if (!WriteAll(fd, data, size)) throw WriteFailed{errno};
                });
            } catch (const WriteFailed& failed) {
                errno = failed.error;
                return false;
            }
            return true;
        });
    } catch (const EFileError& error) {
        if (error.Path() != target) throw;  // an entry's file
        throw EFCreateError(target, error.Reason());
    }
}

void LoadPackedStreams(const ByteSource& source, uint64_t size, PackReader& reader) {
    uint8_t flags[2] = {};
    size_t got = 0;
    while (got < sizeof flags) {
        const size_t n = source(flags + got, sizeof flags - got);
        if (n == 0) break;
        got += n;
    }
    if (got < sizeof flags) throw ECorruptFile("File is corrupt.");
    if (flags[1] == '*') {
        // Nothing of ours enciphers; such a file is read whole, as it always was.
        ByteStream file(flags, flags + 2);
        std::vector<uint8_t> piece(kPiece);
        while (const size_t n = source(piece.data(), piece.size()))
            file.insert(file.end(), piece.begin(), piece.begin() + static_cast<long>(n));
        TPkStreams streams;
        streams.LoadFromStream(file);
        ReadLoaded(streams, reader);
        return;
    }
    ImageParser parser(reader);
    if (flags[0] != '&') {
        std::vector<uint8_t> piece(kPiece);
        while (const size_t n = source(piece.data(), piece.size())) parser.Take(piece.data(), n);
        parser.Finish();
        return;
    }
    const uint64_t payload = size >= 2 ? size - 2 : 0;
    // Errors of the file itself are not damage in the stream: they pass through.
    const ByteSource input = [&source](uint8_t* out, size_t count) {
        try {
            return source(out, count);
        } catch (...) {
            throw ReaderFailed{std::current_exception()};
        }
    };
    try {
        DecompressStreamFrom(
            input,
            [&](const uint8_t* data, size_t count) {
                try {
                    parser.Take(data, count);
                } catch (...) {
                    throw ReaderFailed{std::current_exception()};
                }
            },
            [payload](int32_t stored) {
                if (stored > 0 && static_cast<uint64_t>(stored) > MaxImageFromCompressed(payload))
                    throw ETooLarge(static_cast<uint64_t>(stored), MaxImageFromCompressed(payload));
            });
    } catch (const ReaderFailed& failed) {
        std::rethrow_exception(failed.error);
    } catch (const ETooLarge&) {
        throw;
    } catch (const std::exception&) {
        throw ECorruptFile("File is corrupt.");
    }
    parser.Finish();
}

FileSource::FileSource(const std::string& path)
    : path_(path), fd_(OpenRegularFile(path, &size_, std::numeric_limits<uint64_t>::max())) {}

FileSource::~FileSource() { close(fd_); }

size_t FileSource::Read(uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = read(fd_, out + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EFileError(path_, errno);
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace murmel
