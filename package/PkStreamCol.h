#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ECorruptFile.h"
#include "PkStreamRoutines.h"

namespace murmel {

// Stream errors of the container's file and entry handling. They are not turned
// into ECorruptFile: the player treats both alike, the CLI prints the message.
class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// "Stream read error": an entry runs past the end of the data.
class EReadError : public EStreamError {
  public:
    EReadError();
};
// "Cannot open file "PATH". REASON"
class EFOpenError : public EStreamError {
  public:
    EFOpenError(const std::string& path, const std::string& reason);
};
// "Cannot create file "PATH". REASON"
class EFCreateError : public EStreamError {
  public:
    EFCreateError(const std::string& path, const std::string& reason);
};

// The largest image the compressor can make of `payloadBytes` compressed bytes:
// a block of its at most 5,240 matches of 256 bytes costs at least 52 bits (one
// symbol codes in no bits at all). A compressed file claiming more is no voice
// mail of ours but a decompression bomb; its size is refused before anything is
// decoded, while a recording of any length, even of pure silence, is not.
uint64_t MaxImageFromCompressed(uint64_t payloadBytes);

// "Voice mail too large: SIZE bytes, at most LIMIT": an image larger than its
// compressed bytes can hold, or than the 32-bit size field of a compressed file.
class ETooLarge : public EStreamError {
  public:
    ETooLarge(uint64_t size, uint64_t limit);
};

// The named-stream container of the ".mvm" voice mail: a set of entries kept
// sorted by name (GBK, ASCII case folded), saved as two flag bytes and an
// optionally compressed and enciphered image.
class TPkStreams {
  public:
    using TOnAskForKey = std::function<std::string(TPkStreams& sender)>;
    using TNotifyEvent = std::function<void(TPkStreams& sender)>;

    // Published properties. Assign them freely; a load changes them only when it
    // succeeds. On save: compress the image; encipher it with Key (only when Key
    // is not empty). After a load: how the file was stored and the key used.
    bool Compressed = true;
    bool Encrypted = false;
    std::string Key;
    TOnAskForKey OnAskForKey;  // asked for the key of an enciphered file
    TNotifyEvent OnCorrupt;    // called just before ECorruptFile is thrown

    TPkStreams() = default;
    TPkStreams(const TPkStreams&) = delete;
    TPkStreams& operator=(const TPkStreams&) = delete;

    // Adds a private copy of the whole source under `name`. An empty name does
    // nothing; a name already present (ignoring case) keeps the existing entry.
    // The stream overload reads from the first byte, whatever its position.
    void AddStream(std::string_view name, const uint8_t* data, size_t size);
    void AddStream(std::string_view name, const ByteStream& source);
    void AddStream(std::string_view name, std::istream& source);

    // Appends the entry's bytes to `destination`; returns false (leaving it as
    // it was) when the name is empty or absent. The stream overload writes at the
    // current position and then seeks the stream back to 0, found or not.
    bool GetStream(std::string_view name, ByteStream& destination) const;
    bool GetStream(std::string_view name, std::ostream& destination) const;

    // The entry of that name (ignoring case), or nullptr.
    const ByteStream* Find(std::string_view name) const;

    // Entries in list (file) order.
    size_t Count() const { return entries_.size(); }
    const std::string& Name(size_t index) const { return entries_.at(index).name; }
    const ByteStream& Data(size_t index) const { return entries_.at(index).data; }
    std::vector<std::string> Names() const;

    void Clear() { entries_.clear(); }

    // Saving leaves entries and properties as they are. A compressed image above
    // 2^31 - 1 bytes is ETooLarge; a key the cipher rejects is std::invalid_argument.
    // SaveToFile replaces the file atomically: on any failure the old file stays.
    void SaveToFile(const std::string& fileName) const;  // EFCreateError, EStreamError
    void SaveToStream(ByteStream& target) const;         // appends flags and payload
    void SaveToStream(std::ostream& target) const;       // at the current position

    // Replaces the entries with the file's. Throws ECorruptFile "File is corrupt."
    // (after OnCorrupt) for a bad signature or a payload that cannot be deciphered
    // or decompressed, EReadError when an entry runs past the end (entries read
    // before it stay), ETooLarge for a compressed image claiming more than
    // MaxImageFromCompressed, EFOpenError when
    // the file cannot be opened or is not a regular file.
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(const uint8_t* data, size_t size);
    void LoadFromStream(const ByteStream& source);
    void LoadFromStream(std::istream& source);  // whole stream, from its first byte

  private:
    struct Entry {
        std::string name;
        ByteStream data;
    };

    void Insert(std::string_view name, ByteStream&& data);
    [[noreturn]] void CorruptError();
    void ParseImage(const ByteStream& image);
    void Adopt(std::vector<Entry>&& read);  // sorts, drops later duplicates

    std::vector<Entry> entries_;
};

}  // namespace murmel
