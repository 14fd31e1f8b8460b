#include "Base64.h"

namespace murmel {

void AppendBase64(std::string& out, const unsigned char* bytes, size_t size) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // Sized once and filled through a pointer: attachments run through here by the
    // megabyte, and a growth check per character was most of the send's CPU.
    const size_t start = out.size();
    out.resize(start + (size + 2) / 3 * 4);
    char* at = out.data() + start;
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        unsigned value = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        at[0] = kAlphabet[value >> 18];
        at[1] = kAlphabet[(value >> 12) & 63];
        at[2] = kAlphabet[(value >> 6) & 63];
        at[3] = kAlphabet[value & 63];
        at += 4;
    }
    if (i == size) return;
    unsigned value = bytes[i] << 16;
    if (i + 1 < size) value |= bytes[i + 1] << 8;
    at[0] = kAlphabet[value >> 18];
    at[1] = kAlphabet[(value >> 12) & 63];
    at[2] = i + 1 < size ? kAlphabet[(value >> 6) & 63] : '=';
    at[3] = '=';
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    AppendBase64(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return out;
}

}  // namespace murmel
