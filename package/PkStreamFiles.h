#pragma once
// The container file written from, and read into, streams that are never held
// whole: the recorder packs a voice track of hours, the player unpacks it, in
// memory that does not grow with the entries. The bytes are those TPkStreams
// writes and reads for the same entries.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "PkStreamCol.h"

namespace murmel {

// One entry to pack: `size` bytes that `read` gives piece by piece.
struct PackSource {
    std::string name;
    uint64_t size = 0;
    ByteSource read;
};

// Writes the container file of `entries` to `sink`, as TPkStreams::SaveToStream
// does after adding them in this order (sorted by name, a name given twice kept
// once, the first), compressed or not, never enciphered. Throws ETooLarge when
// a compressed image would not fit its 32-bit size field, std::length_error for a
// name or entry too large for its field, and whatever `read` or `sink` throw.
void SavePackedStreams(const std::vector<PackSource>& entries, bool compressed,
                       const ByteSink& sink);

// SavePackedStreams into TARGET, replaced atomically as TPkStreams::SaveToFile
// replaces it: EFCreateError when it cannot be written; an entry's read errors
// (EFileError naming its file) pass through. The old file stays on every failure.
void SavePackedFile(const std::string& target, const std::vector<PackSource>& entries,
                    bool compressed);

// What a reader of a container file is told, entry by entry in file order.
class PackReader {
  public:
    virtual void EntryBegins(std::string_view name, uint32_t size) = 0;
    virtual void EntryData(const uint8_t* data, size_t size) = 0;
    virtual void EntryEnds() = 0;

  protected:
    ~PackReader() = default;
};

// Reads the container file `source` (of `size` bytes) and tells `reader` about its
// entries as they are decoded. Throws what TPkStreams::LoadFromFile throws for the
// same file: ECorruptFile "File is corrupt.", EReadError when an entry runs past
// the end, ETooLarge for a compressed image claiming more than its bytes can
// hold; and whatever `source` and `reader` throw. An enciphered file is read
// whole through TPkStreams (nothing of ours writes one).
void LoadPackedStreams(const ByteSource& source, uint64_t size, PackReader& reader);

// A file as a source of its bytes: opened as an input (a regular file), read as
// it is taken. Throws EFileError naming the path.
class FileSource {
  public:
    explicit FileSource(const std::string& path);
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    uint64_t Size() const { return size_; }
    size_t Read(uint8_t* out, size_t count);  // fewer only at the end
    ByteSource AsSource() {
        return [this](uint8_t* out, size_t count) { return Read(out, count); };
    }

  private:
    std::string path_;
    uint64_t size_ = 0;  // set when fd_ is opened, so declared before it
    int fd_ = -1;
};

}  // namespace murmel
