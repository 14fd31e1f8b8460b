#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace murmel {

inline constexpr size_t kMaxReplyLine = 16384;  // longest reply line accepted
inline constexpr size_t kReceiveChunk = 32768;  // bytes asked of the socket at a time
// One reply may run to this many lines (blank ones included) and bytes. Real
// servers send a few dozen lines of at most 512 bytes (RFC 5321, 4.5.3.1.5); the
// bounds leave a wide margin and stop a server that never ends its reply.
inline constexpr size_t kMaxReplyLines = 256;
inline constexpr size_t kMaxReplyBytes = kMaxReplyLines * 512;

// The reply to one command: its numeric code (0 when the text has none) and the
// text of each line from its 5th byte on.
struct TIdReply {
    int code = 0;
    std::vector<std::string> text;
    std::string JoinedText() const;  // the lines joined by CR LF
};

// Takes lines out of received data. A line ends at LF; a CR before the LF goes.
class TIdLineReader {
  public:
    // Appends up to `size` received bytes at `data`; returns 0 when the peer has
    // closed. May throw.
    using Fill = std::function<size_t(char* data, size_t size)>;

    explicit TIdLineReader(Fill fill, size_t maxLineLength = kMaxReplyLine);

    // Throws EIdMaxLineLengthExceeded for a line over the limit and
    // EIdConnClosedGracefully when the data ends before a line does.
    std::string ReadLine();
    void Clear();

  private:
    Fill fill_;
    size_t maxLineLength_;
    std::string buffer_;
    size_t start_ = 0;
};

// Reads one reply, following continuation lines ("250-...") up to the last line
// ("250 ..."); blank lines are skipped. Throws EIdReplyTooLong past the bounds above.
TIdReply ReadReply(TIdLineReader& reader);

}  // namespace murmel
