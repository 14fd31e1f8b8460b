// Any bytes from a server: replies are read until the data ends, a line is too
// long or a reply runs past its bounds; nothing else may happen. The first byte sets the line
// limit, so that short inputs reach it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "IdException.h"
#include "IdReplyReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t limit = 1 + data[0];
    size_t step = 1 + (size > 1 ? data[1] % 64 : 0);
    size_t at = 2;
    murmel::TIdLineReader reader(
        [&](char* out, size_t room) {
            size_t n = std::min({room, step, size > at ? size - at : 0});
            std::memcpy(out, data + at, n);
            at += n;
            return n;
        },
        limit);
    try {
        for (;;) {
            murmel::TIdReply reply = murmel::ReadReply(reader);
            if (reply.code < 0 || reply.code > 9999 || reply.text.empty() ||
                reply.text.size() > murmel::kMaxReplyLines)
                __builtin_trap();
            for (const std::string& line : reply.text)
                if (line.size() > limit) __builtin_trap();
        }
    } catch (const murmel::EIdConnClosedGracefully&) {
    } catch (const murmel::EIdMaxLineLengthExceeded&) {
    } catch (const murmel::EIdReplyTooLong&) {
    }
    return 0;
}
