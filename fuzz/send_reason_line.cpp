// Any bytes a server or the system may put in a failure reason: the line shown
// under the send dialog's caption is valid UTF-8, one line, and no longer than
// the limit allows.
#include <cstdint>
#include <string>

#include "SendSession.h"

namespace {

bool ValidUtf8(const std::string& text, size_t& characters) {
    characters = 0;
    for (size_t i = 0; i < text.size(); ++characters) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                                      : lead >= 0xE0 && lead < 0xF0   ? 3
                                      : lead >= 0xF0 && lead < 0xF5   ? 4
                                                                      : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line = murmel::ReasonLine(std::string(reinterpret_cast<const char*>(data), size));
    size_t characters = 0;
    if (!ValidUtf8(line, characters)) __builtin_trap();
    if (characters > murmel::kMaxReasonLength + 1) __builtin_trap();  // + the ellipsis
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
    return 0;
}
