#include "IdMessage.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>

#include "Base64.h"
#include "IdException.h"
#include "SafeFile.h"

namespace murmel {
namespace {

constexpr size_t kBase64Block = 57;  // raw bytes per base64 line of 76 characters

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

void CheckItem(const TIdEMailAddressItem& item) {
    if (HasLineBreak(item.Address)) throw EIdException("Line break in an address");
    if (HasLineBreak(item.Name)) throw EIdException("Line break in a name");
}

// Lines of one body entry; CR LF, a lone CR and a lone LF all end a line, so the
// text cannot hide an end-of-data sequence.
void SplitLines(std::string_view text, std::vector<std::string>& lines) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.emplace_back(text.substr(start));
}

struct BodyText {
    std::vector<std::string> lines;  // not yet dot-doubled
    std::string charset;             // empty: plain ASCII, no charset declared
    std::string transfer;            // empty: 7bit, nothing declared
};

// The label for 8-bit body text: the row's name, but "GBK" for Simplified
// Chinese text that uses characters beyond GB2312.
std::string EightBitCharset(const std::vector<std::string>& lines, const THeaderCharset& charset) {
    bool eightBit = false, beyondGb2312 = false;
    for (const std::string& line : lines) {
        for (char c : line)
            if (static_cast<unsigned char>(c) >= 0x80) eightBit = true;
        if (charset.name == "GB2312" && !FitsGb2312(line)) beyondGb2312 = true;
    }
    if (!eightBit) return {};
    if (beyondGb2312) return "GBK";
    return charset.name;
}

bool HasOverlongLine(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        size_t dot = !line.empty() && line[0] == '.' ? 1 : 0;
        if (line.size() + dot > kMaxLineOctets) return true;
    }
    return false;
}

// The text in base64 lines of 76 characters, each line ending in CR LF before encoding.
std::vector<std::string> Base64Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    std::vector<std::string> encoded;
    for (size_t at = 0; at < text.size(); at += kBase64Block) {
        encoded.emplace_back();
        AppendBase64(encoded.back(), reinterpret_cast<const unsigned char*>(text.data() + at),
                     std::min(kBase64Block, text.size() - at));
    }
    return encoded;
}

// Quoted-printable lines of at most 76 characters, soft breaks where needed.
std::vector<std::string> QuotedPrintableLines(const std::vector<std::string>& lines) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr size_t kRoom = 75;  // characters before the soft break "="
    std::vector<std::string> encoded;
    for (const std::string& line : lines) {
        std::string current;
        for (size_t i = 0; i < line.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(line[i]);
            bool blank = c == ' ' || c == '\t';
            std::string piece;
            if ((c >= 33 && c <= 126 && c != '=') || (blank && i + 1 < line.size()))
                piece = static_cast<char>(c);
            else
                piece = {'=', kHex[c >> 4], kHex[c & 15]};
            if (current.size() + piece.size() > kRoom) {
                encoded.push_back(current + "=");
                current.clear();
            }
            current += piece;
        }
        encoded.push_back(current);
    }
    return encoded;
}

BodyText PrepareBody(const TIdMessage& message, const THeaderCharset& charset,
                     bool eightBitAllowed) {
    BodyText body;
    bool jis = !message.BodyUtf8 && charset.mode == THeaderMode::hmIso2022Jp;
    for (const std::string& entry : message.Body)
        SplitLines(jis ? ShiftJisToIso2022Jp(entry) : entry, body.lines);
    if (jis) {
        for (const std::string& line : body.lines)
            if (line.find('\x1B') != std::string::npos) body.charset = charset.name;
        if (!body.charset.empty()) body.transfer = "7bit";
    } else {
        body.charset = EightBitCharset(body.lines, FieldCharset(message.BodyUtf8, charset));
        if (!body.charset.empty()) body.transfer = "8bit";
    }
    bool overlong = HasOverlongLine(body.lines);
    if (body.transfer == "8bit" && (overlong || !eightBitAllowed)) {
        body.lines = Base64Lines(body.lines);
        body.transfer = "base64";
    } else if (overlong) {
        body.lines = QuotedPrintableLines(body.lines);
        body.transfer = "quoted-printable";
    }
    return body;
}

std::string TextContentType(const BodyText& body) {
    if (body.charset.empty()) return "text/plain";
    return "text/plain; charset=\"" + body.charset + "\"";
}

// A line beginning with "." gets one more, so that it cannot end the data.
void WriteTextLine(TIdMessageLineWriter& writer, const std::string& line) {
    if (!line.empty() && line[0] == '.')
        writer.WriteLine("." + line);
    else
        writer.WriteLine(line);
}

// Adds up the octets of the lines handed to it.
class SizeCounter : public TIdMessageLineWriter {
  public:
    void WriteLine(std::string_view line) override { size += line.size() + 2; }
    uint64_t size = 0;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Opened as a regular file only: a FIFO or a device put in the file's place after
// it was chosen must not hold the send up waiting for a writer.
std::unique_ptr<std::FILE, FileCloser> OpenAttachment(const std::string& path) {
    int fd = -1;
    try {
        fd = OpenRegularFile(path, nullptr, std::numeric_limits<uint64_t>::max());
    } catch (const EFileError& error) {
        throw EIdException("Cannot open file \"" + path + "\". " + error.Reason());
    }
    std::unique_ptr<std::FILE, FileCloser> file(fdopen(fd, "rb"));
    if (!file) {
        const int reason = errno;
        close(fd);
        throw EIdException("Cannot open file \"" + path + "\". " + std::strerror(reason));
    }
    return file;
}

void WriteFileBase64(const TIdAttachment& part, TIdMessageLineWriter& writer) {
    std::unique_ptr<std::FILE, FileCloser> file = OpenAttachment(part.StoredPathName);
    // Read many blocks at a time; every 57 bytes still make one line.
    std::vector<unsigned char> buffer(kBase64Block * 1024);
    std::string line;
    for (;;) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        for (size_t at = 0; at < got; at += kBase64Block) {
            line.clear();
            AppendBase64(line, buffer.data() + at, std::min(kBase64Block, got - at));
            writer.WriteLine(line);
        }
        if (got < buffer.size()) break;
    }
    if (std::ferror(file.get()))
        throw EIdException("Cannot read file \"" + part.StoredPathName + "\"");
}

bool IsPlainFileName(std::string_view name) {
    for (char c : name) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '"' || c == '\\') return false;
    }
    return true;
}

// RFC 2231 value: charset, empty language, the bytes percent-encoded.
std::string ExtendedValue(const std::string& label, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr std::string_view kAttributeChars = "!#$&+-.^_`|~";
    std::string value = label + "''";
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 0x80)
            value += c;
        else if (kAttributeChars.find(c) != std::string_view::npos)
            value += c;
        else
            value += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
    return value;
}

// A name beyond plain ASCII: encoded words in "name" for old readers, RFC 2231
// in "filename*", never raw 8-bit bytes in a header.
void WriteEncodedNames(const TIdAttachment& part, const THeaderCharset& locale,
                       TIdMessageLineWriter& writer) {
    const THeaderCharset& row = FieldCharset(part.FileNameUtf8, locale);
    std::string words = EncodeHeaderText(part.FileName, "\"\\", row);
    std::vector<std::string> lines;
    for (size_t start = 0;;) {
        size_t end = words.find("\r\n", start);
        lines.push_back(words.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    lines.front() = "        name=\"" + lines.front();
    lines.back() += "\"";
    writer.WriteLine("Content-Type: application/octet-stream;");
    for (const std::string& line : lines) writer.WriteLine(line);
    writer.WriteLine("Content-Transfer-Encoding: base64");
    writer.WriteLine("Content-Disposition: attachment;");
    bool jis = row.mode == THeaderMode::hmIso2022Jp;
    std::string bytes = jis ? ShiftJisToIso2022Jp(part.FileName) : part.FileName;
    writer.WriteLine("        filename*=" +
                     ExtendedValue(LabelFor(part.FileName, row).name, bytes));
}

// Octets of a file's base64 lines (76 characters and CR LF per 57 bytes).
uint64_t Base64Octets(const std::string& path) {
    std::error_code error;
    uint64_t size = std::filesystem::file_size(path, error);
    if (error) return 0;
    uint64_t lines = size / kBase64Block * (76 + 2);
    uint64_t rest = size % kBase64Block;
    return lines + (rest ? (rest + 2) / 3 * 4 + 2 : 0);
}

void WriteAttachment(const TIdAttachment& part, const THeaderCharset& charset,
                     TIdMessageLineWriter& writer, SizeCounter* sizing) {
    writer.WriteLine("");
    writer.WriteLine("--" + std::string(kMimeBoundary));
    if (IsPlainFileName(part.FileName)) {
        writer.WriteLine("Content-Type: application/octet-stream;");
        writer.WriteLine("        name=\"" + part.FileName + "\"");
        writer.WriteLine("Content-Transfer-Encoding: base64");
        writer.WriteLine("Content-Disposition: attachment;");
        writer.WriteLine("        filename=\"" + part.FileName + "\"");
    } else {
        WriteEncodedNames(part, charset, writer);
    }
    writer.WriteLine("");
    if (sizing) {
        sizing->size += Base64Octets(part.StoredPathName);
    } else {
        WriteFileBase64(part, writer);
    }
    writer.WriteLine("");
}

void WriteBody(const TIdMessage& message, const BodyText& body, const THeaderCharset& charset,
               TIdMessageLineWriter& writer, SizeCounter* sizing = nullptr) {
    if (message.Parts.empty()) {
        for (const std::string& line : body.lines) WriteTextLine(writer, line);
        return;
    }
    writer.WriteLine("This is a multi-part message in MIME format");
    writer.WriteLine("");
    writer.WriteLine("--" + std::string(kMimeBoundary));
    writer.WriteLine("Content-Type: " + TextContentType(body));
    writer.WriteLine("Content-Transfer-Encoding: " +
                     (body.transfer.empty() ? "7bit" : body.transfer));
    writer.WriteLine("");
    for (const std::string& line : body.lines) WriteTextLine(writer, line);
    for (const TIdAttachment& part : message.Parts) WriteAttachment(part, charset, writer, sizing);
    writer.WriteLine("--" + std::string(kMimeBoundary) + "--");
}

TIdHeaderList BuildHeaders(const TIdMessage& message, const BodyText& body,
                           const THeaderCharset& charset) {
    bool multipart = !message.Parts.empty();
    bool declared = !multipart && !body.transfer.empty();
    std::string contentType;
    if (multipart)
        contentType = "multipart/mixed; boundary=\"" + std::string(kMimeBoundary) + "\"";
    else if (declared)
        contentType = TextContentType(body);
    TIdHeaderList headers;
    headers.SetValue("From", EncodeAddressItem(message.From, charset));
    headers.SetValue("Subject", EncodeHeaderText(message.Subject, "",
                                                 FieldCharset(message.SubjectUtf8, charset)));
    headers.SetValue("To", EncodeAddressList(message.Recipients, charset));
    headers.SetValue("Cc", EncodeAddressList(message.CCList, charset));
    headers.SetValue("Content-Type", contentType);
    headers.SetValue("MIME-Version", multipart || declared ? "1.0" : "");
    headers.SetValue("Content-Transfer-Encoding", declared ? body.transfer : "");
    TIdMessageTime now = message.Clock ? message.Clock() : SystemMessageTime();
    headers.SetValue("Date", FormatMessageDate(now));
    headers.SetValue("X-Priority", std::to_string(static_cast<int>(message.Priority) + 1));
    headers.SetValue("X-Library", "Indy 9.00.10");
    headers.SetValue("Message-ID", message.MsgId);
    headers.Append(message.ExtraHeaders);
    return headers;
}

}  // namespace

void TIdMessage::Clear() {
    Recipients.clear();
    CCList.clear();
    BccList.clear();
    From = {};
    Subject.clear();
    SubjectUtf8 = false;
    Body.clear();
    BodyUtf8 = false;
    Parts.clear();
    ExtraHeaders = {};
    MsgId.clear();
}

TIdMessageTime SystemMessageTime() {
    TIdMessageTime now;
    std::time_t seconds = std::time(nullptr);
    if (seconds == static_cast<std::time_t>(-1) || !localtime_r(&seconds, &now.local))
        throw EIdException("Failed attempting to retrieve time zone information.");
    now.utcOffsetMinutes = static_cast<int>(now.local.tm_gmtoff / 60);
    return now;
}

std::string FormatMessageDate(const TIdMessageTime& time) {
    const std::tm& t = time.local;
    int offset = std::abs(time.utcOffsetMinutes);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d",
                  kDays[((t.tm_wday % 7) + 7) % 7], t.tm_mday, kMonths[((t.tm_mon % 12) + 12) % 12],
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec,
                  time.utcOffsetMinutes >= 0 ? '+' : '-', offset / 60, offset % 60);
    return text;
}

void CheckMessageHeaders(const TIdMessage& message) {
    CheckItem(message.From);
    for (const TIdEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const TIdEMailAddressItem& item : *list) CheckItem(item);
    if (HasLineBreak(message.Subject)) throw EIdException("Line break in the subject");
    for (const TIdAttachment& part : message.Parts)
        if (HasLineBreak(part.FileName)) throw EIdException("Line break in an attachment name");
}

TIdHeaderList BuildHeaderLines(const TIdMessage& message) {
    THeaderCharset charset = HeaderCharset();
    return BuildHeaders(message, PrepareBody(message, charset, true), charset);
}

void WriteMessage(const TIdMessage& message, TIdMessageLineWriter& writer, bool eightBitAllowed) {
    CheckMessageHeaders(message);
    THeaderCharset charset = HeaderCharset();
    BodyText body = PrepareBody(message, charset, eightBitAllowed);
    TIdHeaderList headers = BuildHeaders(message, body, charset);
    for (const std::string& line : headers.Lines()) writer.WriteLine(line);
    writer.WriteLine("");
    writer.BeginBody();
    try {
        WriteBody(message, body, charset, writer);
    } catch (...) {
        writer.EndBody();
        throw;
    }
    writer.EndBody();
}

TIdMessageTransport MessageTransport(const TIdMessage& message, bool eightBitAllowed) {
    THeaderCharset charset = HeaderCharset();
    BodyText body = PrepareBody(message, charset, eightBitAllowed);
    SizeCounter counter;
    TIdHeaderList headers = BuildHeaders(message, body, charset);
    for (const std::string& line : headers.Lines()) counter.WriteLine(line);
    counter.WriteLine("");
    const uint64_t headerSize = counter.size;
    WriteBody(message, body, charset, counter, &counter);
    return {body.transfer == "8bit", counter.size, counter.size - headerSize};
}

std::string NewMessageId(std::string_view fromAddress) {
    size_t at = fromAddress.rfind('@');
    std::string domain(at == std::string_view::npos ? "" : fromAddress.substr(at + 1));
    bool usable = !domain.empty() && domain.front() != '.' && domain.back() != '.';
    for (char c : domain)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') usable = false;
    if (!usable) domain = "murmel.invalid";
    std::random_device random;
    char id[33];
    std::snprintf(id, sizeof id, "%08x%08x%08x%08x", random(), random(), random(), random());
    return "<" + std::string(id) + "@" + domain + ">";
}

}  // namespace murmel
