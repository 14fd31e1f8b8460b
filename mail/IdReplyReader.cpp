#include "IdReplyReader.h"

#include <cctype>

#include "IdEMailAddress.h"
#include "IdException.h"

namespace murmel {
namespace {

// Takes the lines of one reply and keeps it within its bounds.
class ReplyLines {
  public:
    explicit ReplyLines(TIdLineReader& reader) : reader_(reader) {}

    std::string NextTrimmed() {
        for (;;) {
            std::string raw = reader_.ReadLine();
            bytes_ += raw.size() + 2;  // with its line end
            if (++lines_ > kMaxReplyLines)
                throw EIdReplyTooLong("The server's reply runs past " +
                                      std::to_string(kMaxReplyLines) + " lines");
            if (bytes_ > kMaxReplyBytes)
                throw EIdReplyTooLong("The server's reply runs past " +
                                      std::to_string(kMaxReplyBytes) + " bytes");
            std::string line(TrimBlanks(raw));
            if (!line.empty()) return line;
        }
    }

  private:
    TIdLineReader& reader_;
    size_t lines_ = 0, bytes_ = 0;
};

bool SameCodeFollowedBySpace(const std::string& line, const std::string& first) {
    if (line.size() < 4 || line[3] != ' ') return false;
    for (size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) !=
            std::tolower(static_cast<unsigned char>(first[i])))
            return false;
    return true;
}

int ReplyCode(const std::string& first) {
    std::string code(TrimBlanks(std::string_view(first).substr(0, 4)));
    if (!code.empty() && code.back() == '-') code.pop_back();
    if (code.empty()) return 0;
    int value = 0;
    for (char c : code) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::string TIdReply::JoinedText() const {
    std::string joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0) joined += "\r\n";
        joined += text[i];
    }
    return joined;
}

TIdLineReader::TIdLineReader(Fill fill, size_t maxLineLength)
    : fill_(std::move(fill)), maxLineLength_(maxLineLength) {}

void TIdLineReader::Clear() {
    buffer_.clear();
    start_ = 0;
}

std::string TIdLineReader::ReadLine() {
    size_t searched = start_;
    for (;;) {
        size_t lf = buffer_.find('\n', searched);
        if (lf != std::string::npos) {
            size_t end = lf > start_ && buffer_[lf - 1] == '\r' ? lf - 1 : lf;
            if (end - start_ > maxLineLength_) throw EIdMaxLineLengthExceeded();
            std::string line = buffer_.substr(start_, end - start_);
            start_ = lf + 1;
            return line;
        }
        // A CR may still come before the LF: one byte of grace.
        if (buffer_.size() - start_ > maxLineLength_ + 1) throw EIdMaxLineLengthExceeded();
        if (start_ > 0) {
            buffer_.erase(0, start_);
            start_ = 0;
        }
        searched = buffer_.size();
        size_t old = buffer_.size();
        buffer_.resize(old + kReceiveChunk);
        size_t got = 0;
        try {
            got = fill_(buffer_.data() + old, kReceiveChunk);
        } catch (...) {
            buffer_.resize(old);
            throw;
        }
        buffer_.resize(old + got);
        if (got == 0) throw EIdConnClosedGracefully();
    }
}

TIdReply ReadReply(TIdLineReader& reader) {
    ReplyLines source(reader);
    std::vector<std::string> lines{source.NextTrimmed()};
    if (lines.front().size() > 3 && lines.front()[3] == '-') {
        for (;;) {
            lines.push_back(source.NextTrimmed());
            const std::string& line = lines.back();
            if (line.size() < 4 || SameCodeFollowedBySpace(line, lines.front())) break;
        }
    }
    TIdReply reply;
    reply.code = ReplyCode(lines.front());
    for (const std::string& line : lines)
        reply.text.push_back(line.size() > 4 ? line.substr(4) : "");
    return reply;
}

}  // namespace murmel
