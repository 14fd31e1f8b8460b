#include "IdHeaderCoding.h"

#include "Base64.h"
#include "GbkText.h"

namespace murmel {
namespace {

constexpr size_t kEncodedWordColumns = 75;  // longest encoded word RFC 2047 allows

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool NeedsEncoding(char c, std::string_view specials) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte >= 0x7F || specials.find(c) != std::string_view::npos;
}

bool WordNeedsEncoding(std::string_view word, std::string_view specials) {
    for (char c : word)
        if (NeedsEncoding(c, specials)) return true;
    return false;
}

// Writes encoded words for one stretch, starting a new word (after CR LF TAB)
// before a piece that would take the word past 75 columns.
class EncodedWordWriter {
  public:
    EncodedWordWriter(std::string& out, const THeaderCharset& charset)
        : out_(out), begin_("=?" + charset.name + "?" + charset.letter + "?") {
        out_ += begin_;
        length_ = begin_.size() + 2;
    }
    void Add(std::string_view piece) {
        if (length_ + piece.size() > kEncodedWordColumns) Break();
        out_ += piece;
        length_ += piece.size();
    }
    void Break() {
        out_ += "?=\r\n\t";
        out_ += begin_;
        length_ = begin_.size() + 2;
    }
    // Raw bytes that one B-encoded word holds.
    size_t ByteRoom() const { return (kEncodedWordColumns - begin_.size() - 2) / 4 * 3; }
    void Finish() { out_ += "?="; }

  private:
    std::string& out_;
    std::string begin_;
    size_t length_;
};

// Bytes of the character that starts at text[i]: a decoder takes each encoded
// word on its own, so a word must never end inside a character.
size_t CharacterLength(std::string_view text, size_t i, const THeaderCharset& charset) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (charset.codePage == "UTF-8") {
        while (i + length < text.size() && length < 4 &&
               (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
            ++length;
    } else if (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size()) {
        length = 2;
    }
    return length;
}

void AppendBase64Groups(EncodedWordWriter& writer, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); i += 3) {
        std::string group;
        size_t size = std::min<size_t>(3, bytes.size() - i);
        AppendBase64(group, reinterpret_cast<const unsigned char*>(bytes.data() + i), size);
        writer.Add(group);
    }
}

// B words of whole characters, each as full as the column limit allows.
void EncodeWholeCharacters(EncodedWordWriter& writer, std::string_view stretch,
                           const THeaderCharset& charset) {
    size_t start = 0;
    while (start < stretch.size()) {
        size_t end = start;
        while (end < stretch.size()) {
            size_t next = end + CharacterLength(stretch, end, charset);
            if (next - start > writer.ByteRoom() && end > start) break;
            end = next;
        }
        if (start > 0) writer.Break();
        AppendBase64Groups(writer, stretch.substr(start, end - start));
        start = end;
    }
}

void EncodeStretch(std::string& out, std::string_view stretch, std::string_view specials,
                   const THeaderCharset& charset) {
    EncodedWordWriter writer(out, charset);
    if (charset.letter == 'B' && charset.mode == THeaderMode::hmIso2022Jp) {
        AppendBase64Groups(writer, stretch);
    } else if (charset.letter == 'B') {
        EncodeWholeCharacters(writer, stretch, charset);
    } else {
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (char c : stretch) {
            unsigned char byte = static_cast<unsigned char>(c);
            if (c == ' ') {
                writer.Add("_");
            } else if (NeedsEncoding(c, specials) || c == '?' || c == '=' || c == '_') {
                char piece[3] = {'=', kHex[byte >> 4], kHex[byte & 15]};
                writer.Add(std::string_view(piece, 3));
            } else {
                writer.Add(std::string_view(&c, 1));
            }
        }
    }
    writer.Finish();
}

// The white space run and the word that start at `at`.
struct Token {
    size_t spaceStart, wordStart, end;
};

Token NextToken(std::string_view text, size_t at) {
    Token token{at, at, at};
    while (token.wordStart < text.size() && IsWhiteSpace(text[token.wordStart])) ++token.wordStart;
    token.end = token.wordStart;
    while (token.end < text.size() && !IsWhiteSpace(text[token.end])) ++token.end;
    return token;
}

bool IsLeadByte(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

bool IsFoldBreak(char c) { return c == ' ' || c == '\t' || c == ','; }

bool StartsHeader(const std::string& line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    return SameNameNoCase(std::string_view(line).substr(0, name.size()), name);
}

}  // namespace

std::string EncodeHeaderText(std::string_view input, std::string_view specials,
                             const THeaderCharset& row) {
    const THeaderCharset charset = LabelFor(input, row);
    std::string converted;
    if (charset.mode == THeaderMode::hmIso2022Jp) converted = ShiftJisToIso2022Jp(input);
    std::string_view text = charset.mode == THeaderMode::hmIso2022Jp ? converted : input;
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        Token token = NextToken(text, at);
        out.append(text.substr(token.spaceStart, token.wordStart - token.spaceStart));
        std::string_view word = text.substr(token.wordStart, token.end - token.wordStart);
        at = token.end;
        if (!WordNeedsEncoding(word, specials)) {
            out.append(word);
            continue;
        }
        size_t stretchEnd = token.end;
        for (;;) {
            Token next = NextToken(text, stretchEnd);
            if (next.wordStart == next.end) {  // only white space left
                stretchEnd = text.size();
                break;
            }
            if (!WordNeedsEncoding(text.substr(next.wordStart, next.end - next.wordStart),
                                   specials))
                break;
            stretchEnd = next.end;
        }
        EncodeStretch(out, text.substr(token.wordStart, stretchEnd - token.wordStart), specials,
                      charset);
        at = stretchEnd;
    }
    return out;
}

std::vector<std::string> FoldHeaderLine(std::string_view line) {
    // Positions are 1-based, as the wrapping rules are stated.
    const size_t length = line.size();
    auto at = [&](size_t pos) { return line[pos - 1]; };
    std::string result;
    size_t pos = 1, linePos = 1, breakPos = 0, column = 1;
    bool inQuote = false;
    while (pos <= length) {
        char current = at(pos);
        bool existingBreak = false;
        if (IsLeadByte(current) && pos < length) {
            ++pos;  // the trail byte shares the character's two columns
            ++column;
        } else if (current == '\r') {
            if (!inQuote && pos + 2 <= length && at(pos + 1) == '\n' &&
                (at(pos + 2) == ' ' || at(pos + 2) == '\t')) {
                existingBreak = true;
                pos += 2;
                breakPos = pos;
            }
        } else if (IsFoldBreak(current)) {
            if (!inQuote) breakPos = pos;
        } else if (current == '"') {
            inQuote = !inQuote;
        }
        ++pos;
        ++column;
        if (inQuote || !(existingBreak || (column > kFoldColumns && breakPos > linePos))) continue;
        column = pos - breakPos;
        result.append(line.substr(linePos - 1, breakPos - linePos + 1));
        if (current != '"')
            while (pos <= length && (IsFoldBreak(at(pos)) || at(pos) == '\r' || at(pos) == '\n'))
                ++pos;
        if (!existingBreak && pos < length) result += "\r\n ";
        linePos = breakPos + 1;
    }
    if (linePos <= length) result.append(line.substr(linePos - 1));

    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = result.find("\r\n", start);
        std::string piece = result.substr(start, end == std::string::npos ? end : end - start);
        while (!piece.empty() && static_cast<unsigned char>(piece.back()) <= 0x20) piece.pop_back();
        if (!piece.empty()) lines.push_back(std::move(piece));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

size_t TIdHeaderList::Find(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (StartsHeader(lines_[i], name)) return i;
    return lines_.size();
}

void TIdHeaderList::SetValue(std::string_view name, std::string_view value) {
    size_t index = Find(name);
    if (index < lines_.size()) {
        size_t end = index + 1;
        while (end < lines_.size() && (lines_[end][0] == ' ' || lines_[end][0] == '\t')) ++end;
        lines_.erase(lines_.begin() + index, lines_.begin() + end);
    }
    if (value.empty()) return;
    std::vector<std::string> folded = FoldHeaderLine(std::string(name) + ": " + std::string(value));
    lines_.insert(lines_.begin() + index, folded.begin(), folded.end());
}

std::string TIdHeaderList::Value(std::string_view name) const {
    size_t index = Find(name);
    if (index == lines_.size()) return {};
    std::string value = lines_[index].substr(name.size() + 1);
    while (++index < lines_.size() && (lines_[index][0] == ' ' || lines_[index][0] == '\t'))
        value += lines_[index];
    size_t start = value.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : value.substr(start);
}

void TIdHeaderList::Append(const TIdHeaderList& other) {
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

}  // namespace murmel
