#include "PkStreamCol.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <new>
#include <ostream>

#include "GbkText.h"
#include "SafeFile.h"

namespace murmel {
namespace {

constexpr uint8_t kSignature[8] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr uint8_t kCompressedFlag = '&';
constexpr uint8_t kEncryptedFlag = '*';
constexpr uint8_t kPlainFlag = ' ';
constexpr size_t kMaxNameLength = 0xFFFF;     // the name length is a 16-bit field
constexpr size_t kMaxEntrySize = 0x7FFFFFFF;  // the data size is a signed 32-bit field

bool HasSignature(const ByteStream& image) {
    return image.size() >= sizeof kSignature &&
           std::equal(std::begin(kSignature), std::end(kSignature), image.begin());
}

void PutInt(ByteStream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Reads the image's fields; running out of data is the stream read error.
class ImageReader {
  public:
    explicit ImageReader(const ByteStream& image) : image_(image) {}
    uint32_t Int(int bytes) {
        const uint8_t* at = Take(size_t(bytes));
        uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
        return value;
    }
    const uint8_t* Take(size_t count) {
        if (count > image_.size() - position_) throw EReadError();
        const uint8_t* at = image_.data() + position_;
        position_ += count;
        return at;
    }

  private:
    const ByteStream& image_;
    size_t position_ = sizeof kSignature;
};

constexpr uint64_t kMostBlockBytes = 5240 * 256;  // 655 groups of 8 matches of 256 bytes
constexpr uint64_t kLeastBlockBits = 52;           // 16 + 28 + 8: counts and one-symbol codes

uint32_t StoredSize(const ByteStream& payload) {
    uint32_t size = 0;
    for (size_t i = 0; i < 4 && i < payload.size(); ++i) size |= uint32_t{payload[i]} << (8 * i);
    return size;
}

bool NameLess(const std::string& a, const std::string& b) { return CompareNamesNoCase(a, b) < 0; }

ByteStream ReadWhole(std::istream& source) {
    source.clear();
    source.seekg(0);
    ByteStream bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    if (source.bad()) throw EReadError();
    return bytes;
}

}  // namespace

EReadError::EReadError() : EStreamError("Stream read error") {}

EFOpenError::EFOpenError(const std::string& path, const std::string& reason)
    : EStreamError("Cannot open file \"" + path + "\". " + reason) {}

ETooLarge::ETooLarge(uint64_t size, uint64_t limit)
    : EStreamError("Voice mail too large: " + std::to_string(size) + " bytes, at most " +
                   std::to_string(limit)) {}

uint64_t MaxImageFromCompressed(uint64_t payloadBytes) {
    const uint64_t bits = payloadBytes > 4 ? (payloadBytes - 4) * 8 : 0;  // after the size field
    return (bits / kLeastBlockBits + 1) * kMostBlockBytes;
}

EFCreateError::EFCreateError(const std::string& path, const std::string& reason)
    : EStreamError("Cannot create file \"" + path + "\". " + reason) {}

void TPkStreams::AddStream(std::string_view name, const uint8_t* data, size_t size) {
    if (name.empty() || (data == nullptr && size != 0)) return;
    // Longer names or data would not fit their fields and make a corrupt file.
    if (name.size() > kMaxNameLength) throw std::length_error("Entry name too long");
    if (size > kMaxEntrySize) throw std::length_error("Entry too large");
    if (Find(name)) return;
    Insert(name, ByteStream(data, data + size));
}

void TPkStreams::AddStream(std::string_view name, const ByteStream& source) {
    AddStream(name, source.data(), source.size());
}

void TPkStreams::AddStream(std::string_view name, std::istream& source) {
    if (name.empty()) return;
    ByteStream copy = ReadWhole(source);
    AddStream(name, copy);
}

void TPkStreams::Insert(std::string_view name, ByteStream&& data) {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), name,
                               [](const Entry& entry, std::string_view key) {
                                   return CompareNamesNoCase(entry.name, key) < 0;
                               });
    if (at != entries_.end() && SameNameNoCase(at->name, name)) return;
    entries_.insert(at, Entry{std::string(name), std::move(data)});
}

const ByteStream* TPkStreams::Find(std::string_view name) const {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), name,
                               [](const Entry& entry, std::string_view key) {
                                   return CompareNamesNoCase(entry.name, key) < 0;
                               });
    if (at == entries_.end() || !SameNameNoCase(at->name, name)) return nullptr;
    return &at->data;
}

bool TPkStreams::GetStream(std::string_view name, ByteStream& destination) const {
    const ByteStream* data = name.empty() ? nullptr : Find(name);
    if (data) destination.insert(destination.end(), data->begin(), data->end());
    return data != nullptr;
}

bool TPkStreams::GetStream(std::string_view name, std::ostream& destination) const {
    if (name.empty()) return false;
    const ByteStream* data = Find(name);
    if (data)
        destination.write(reinterpret_cast<const char*>(data->data()),
                          static_cast<std::streamsize>(data->size()));
    if (!destination) throw EStreamError("Stream write error");
    destination.seekp(0);
    return data != nullptr;
}

std::vector<std::string> TPkStreams::Names() const {
    std::vector<std::string> names;
    for (const Entry& entry : entries_) names.push_back(entry.name);
    return names;
}

void TPkStreams::SaveToStream(ByteStream& target) const {
    ByteStream image(std::begin(kSignature), std::end(kSignature));
    PutInt(image, static_cast<uint32_t>(entries_.size()), 4);
    for (const Entry& entry : entries_) {
        PutInt(image, static_cast<uint32_t>(entry.name.size()), 2);
        image.insert(image.end(), entry.name.begin(), entry.name.end());
        PutInt(image, static_cast<uint32_t>(entry.data.size()), 4);
        image.insert(image.end(), entry.data.begin(), entry.data.end());
    }
    // The compressed size field holds no more.
    if (Compressed && image.size() > static_cast<size_t>(INT32_MAX))
        throw ETooLarge(image.size(), static_cast<uint64_t>(INT32_MAX));
    ByteStream payload;
    if (Compressed) {
        CompressStream(image.data(), image.size(), payload);
    } else {
        payload.swap(image);
    }
    const bool encipher = Encrypted && !Key.empty();
    if (encipher) EncryptStream(payload, Key);
    target.push_back(Compressed ? kCompressedFlag : kPlainFlag);
    target.push_back(encipher ? kEncryptedFlag : kPlainFlag);
    target.insert(target.end(), payload.begin(), payload.end());
}

void TPkStreams::SaveToStream(std::ostream& target) const {
    ByteStream bytes;
    SaveToStream(bytes);
    target.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    if (!target) throw EStreamError("Stream write error");
}

void TPkStreams::SaveToFile(const std::string& fileName) const {
    // Built before the file is touched, so a failure leaves an existing file alone.
    ByteStream bytes;
    SaveToStream(bytes);
    try {
        ReplaceFileAtomically(fileName, bytes.data(), bytes.size(), FileSharing::Shared);
    } catch (const EFileError& error) {
        throw EFCreateError(fileName, error.Reason());
    }
}

void TPkStreams::LoadFromFile(const std::string& fileName) {
    ByteStream bytes;
    try {
        bytes = ReadRegularFile(fileName, UINT64_MAX);  // held whole: what it really holds
    } catch (const EFileError& error) {
        throw EFOpenError(fileName, error.Reason());
    }
    LoadFromStream(bytes);
}

void TPkStreams::LoadFromStream(std::istream& source) { LoadFromStream(ReadWhole(source)); }

void TPkStreams::LoadFromStream(const ByteStream& source) {
    LoadFromStream(source.data(), source.size());
}

void TPkStreams::LoadFromStream(const uint8_t* data, size_t size) {
    std::string key = Key;
    // Too short for the flags is too short for the signature.
    if (size < 2) CorruptError();
    const bool compressed = data[0] == kCompressedFlag;
    const bool encrypted = data[1] == kEncryptedFlag;
    ByteStream payload(data + 2, data + size);
    if (encrypted) {
        if (OnAskForKey) key = OnAskForKey(*this);
        try {
            DecryptStream(payload, key);
        } catch (const std::exception&) {
            CorruptError();
        }
    }
    ByteStream image;
    if (compressed) {
        // The stored size is checked before the codec allocates for it.
        if (payload.size() >= 4 && StoredSize(payload) > MaxImageFromCompressed(payload.size()) &&
            StoredSize(payload) <= INT32_MAX)
            throw ETooLarge(StoredSize(payload), MaxImageFromCompressed(payload.size()));
        try {
            DecompressStream(payload.data(), payload.size(), image);
        } catch (const std::exception&) {
            CorruptError();
        }
    } else {
        image.swap(payload);
    }
    ParseImage(image);
    Key = key;
    Compressed = compressed;
    Encrypted = encrypted;
}

void TPkStreams::ParseImage(const ByteStream& image) {
    if (!HasSignature(image)) CorruptError();
    Clear();
    ImageReader reader(image);
    const int32_t count = static_cast<int32_t>(reader.Int(4));
    if (count < 0) CorruptError();
    // Read in file order and sorted once: inserting each entry in place would take
    // time quadratic in the count.
    std::vector<Entry> read;
    try {
        for (int32_t i = 0; i < count; ++i) {
            const size_t length = reader.Int(2);
            const uint8_t* name = reader.Take(length);
            const int32_t size = static_cast<int32_t>(reader.Int(4));
            if (size < 0) CorruptError();
            const uint8_t* bytes = reader.Take(size_t(size));
            read.push_back(Entry{std::string(reinterpret_cast<const char*>(name), length),
                                 ByteStream(bytes, bytes + size)});
        }
    } catch (const EReadError&) {
        Adopt(std::move(read));  // the entries read before the damage stay
        throw;
    }
    Adopt(std::move(read));
}

void TPkStreams::Adopt(std::vector<Entry>&& read) {
    std::stable_sort(read.begin(), read.end(),
                     [](const Entry& a, const Entry& b) { return NameLess(a.name, b.name); });
    // Of equal names the one read first stays.
    auto end = std::unique(read.begin(), read.end(), [](const Entry& a, const Entry& b) {
        return SameNameNoCase(a.name, b.name);
    });
    read.erase(end, read.end());
    entries_ = std::move(read);
}

void TPkStreams::CorruptError() {
    if (OnCorrupt) OnCorrupt(*this);
    throw ECorruptFile("File is corrupt.");
}

}  // namespace murmel
