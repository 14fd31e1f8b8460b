#include "Base64.h"

namespace murmel {

void AppendBase64(std::string& out, const unsigned char* bytes, size_t size) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        unsigned value = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kAlphabet[value >> 18];
        out += kAlphabet[(value >> 12) & 63];
        out += kAlphabet[(value >> 6) & 63];
        out += kAlphabet[value & 63];
    }
    if (i == size) return;
    unsigned value = bytes[i] << 16;
    if (i + 1 < size) value |= bytes[i + 1] << 8;
    out += kAlphabet[value >> 18];
    out += kAlphabet[(value >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(value >> 6) & 63] : '=';
    out += '=';
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    AppendBase64(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return out;
}

}  // namespace murmel
