// The voice-mail package commands: pack, unpack, list, and the raw codec.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "Command.h"
#include "GbkText.h"
#include "PkStreamCol.h"

namespace murmel::cli {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

ByteStream ReadWhole(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw EFOpenError(path, std::strerror(EISDIR));
    File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw EFOpenError(path, std::strerror(errno));
    ByteStream bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    if (std::ferror(file.get())) throw EReadError();
    return bytes;
}

void WriteWhole(const std::string& path, const ByteStream& bytes) {
    File file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) throw EFCreateError(path, std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    if (!written || std::fclose(file.release()) != 0) throw EStreamError("Stream write error");
}

void Load(TPkStreams& streams, const ParsedArguments& parsed) {
    streams.Key = Utf8ToGbk(parsed.Value("--key"));
    streams.LoadFromFile(parsed.positional[0]);
}

int Pack(const Arguments& arguments) {
    ParsedArguments parsed = ParseArguments(arguments, {"--key"}, {"--plain"});
    if (parsed.positional.size() < 2) throw UsageError("expected OUT.mvm and NAME=FILE");
    TPkStreams streams;
    streams.Compressed = !parsed.Has("--plain");
    streams.Key = Utf8ToGbk(parsed.Value("--key"));
    streams.Encrypted = !streams.Key.empty();
    for (size_t i = 1; i < parsed.positional.size(); ++i) {
        const std::string& pair = parsed.positional[i];
        const size_t equals = pair.find('=');
        if (equals == std::string::npos || equals == 0)
            throw UsageError("expected NAME=FILE, got '" + pair + "'");
        const std::string name = Utf8ToGbk(pair.substr(0, equals));
        if (streams.Find(name)) {
            std::fprintf(stderr, "entry %s given twice: the first one is kept\n",
                         pair.substr(0, equals).c_str());
            continue;
        }
        streams.AddStream(name, ReadWhole(pair.substr(equals + 1)));
    }
    streams.SaveToFile(parsed.positional[0]);
    return 0;
}

// An entry name becomes a file name only when it cannot leave the folder.
std::string SafeFileName(const std::string& entry) {
    const std::string name = GbkToUtf8(entry);
    if (name.empty() || name == "." || name.find('/') != std::string::npos ||
        name.find("..") != std::string::npos || name.find('\0') != std::string::npos)
        throw std::runtime_error("unsafe entry name \"" + name + "\": nothing unpacked");
    return name;
}

int Unpack(const Arguments& arguments) {
    ParsedArguments parsed = ParseArguments(arguments, {"--key"}, {});
    if (parsed.positional.size() != 2) throw UsageError("expected IN.mvm and DIR");
    TPkStreams streams;
    Load(streams, parsed);
    // Every name is checked before the first file is written.
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (size_t i = 0; i < streams.Count(); ++i) {
        names.push_back(SafeFileName(streams.Name(i)));
        if (!seen.insert(names.back()).second)
            throw std::runtime_error("two entries become the file \"" + names.back() +
                                     "\": nothing unpacked");
    }
    const std::filesystem::path folder(parsed.positional[1]);
    std::filesystem::create_directories(folder);
    for (size_t i = 0; i < streams.Count(); ++i) {
        WriteWhole((folder / names[i]).string(), streams.Data(i));
        std::printf("%s\n", (folder / names[i]).c_str());
    }
    return 0;
}

int List(const Arguments& arguments) {
    ParsedArguments parsed = ParseArguments(arguments, {"--key"}, {});
    if (parsed.positional.size() != 1) throw UsageError("expected IN.mvm");
    TPkStreams streams;
    Load(streams, parsed);
    std::printf("compressed: %s\nencrypted: %s\nentries: %zu\n", streams.Compressed ? "yes" : "no",
                streams.Encrypted ? "yes" : "no", streams.Count());
    for (size_t i = 0; i < streams.Count(); ++i)
        std::printf("%10zu  %s\n", streams.Data(i).size(), GbkToUtf8(streams.Name(i)).c_str());
    return 0;
}

int Compress(const Arguments& arguments) {
    if (arguments.size() != 2) throw UsageError("expected IN and OUT");
    const ByteStream input = ReadWhole(arguments[0]);
    ByteStream output;
    CompressStream(input.data(), input.size(), output);
    WriteWhole(arguments[1], output);
    return 0;
}

int Decompress(const Arguments& arguments) {
    if (arguments.size() != 2) throw UsageError("expected IN and OUT");
    const ByteStream input = ReadWhole(arguments[0]);
    ByteStream output;
    DecompressStream(input.data(), input.size(), output);
    WriteWhole(arguments[1], output);
    return 0;
}

const RegisterCommand pack({"pack", "OUT.mvm NAME=FILE... [--plain] [--key K]", Pack});
const RegisterCommand unpack({"unpack", "IN.mvm DIR [--key K]", Unpack});
const RegisterCommand list({"list", "IN.mvm [--key K]", List});
const RegisterCommand compress({"compress", "IN OUT", Compress});
const RegisterCommand decompress({"decompress", "IN OUT", Decompress});

}  // namespace
}  // namespace murmel::cli
