#include "IdMessage.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Base64.h"
#include "IdException.h"

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
    std::vector<std::string> lines;  // dot-doubled
    std::string charset;             // empty: plain ASCII, declared as the Part writes it
    std::string transfer;
};

bool IsGb2312Pair(unsigned char lead, unsigned char trail) {
    return lead >= 0xA1 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE;
}

// The label for 8-bit body text: the row's name, but "GBK" for Simplified
// Chinese text that uses characters beyond GB2312.
std::string EightBitCharset(const std::vector<std::string>& lines, const THeaderCharset& charset) {
    bool eightBit = false, beyondGb2312 = false;
    for (const std::string& line : lines) {
        for (size_t i = 0; i < line.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(line[i]);
            if (c < 0x80) continue;
            eightBit = true;
            unsigned char trail = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : 0;
            if (!IsGb2312Pair(c, trail)) beyondGb2312 = true;
            if (c >= 0x81 && c <= 0xFE) ++i;
        }
    }
    if (!eightBit) return {};
    if (charset.name == "GB2312" && beyondGb2312) return "GBK";
    return charset.name;
}

BodyText PrepareBody(const TIdMessage& message, const THeaderCharset& charset) {
    BodyText body;
    bool jis = charset.mode == THeaderMode::hmIso2022Jp;
    for (const std::string& entry : message.Body)
        SplitLines(jis ? ShiftJisToIso2022Jp(entry) : entry, body.lines);
    if (jis) {
        for (const std::string& line : body.lines)
            if (line.find('\x1B') != std::string::npos) body.charset = charset.name;
        if (!body.charset.empty()) body.transfer = "7bit";
    } else {
        body.charset = EightBitCharset(body.lines, charset);
        if (!body.charset.empty()) body.transfer = "8bit";
    }
    for (std::string& line : body.lines)
        if (!line.empty() && line[0] == '.') line.insert(line.begin(), '.');
    return body;
}

std::string TextContentType(const BodyText& body) {
    if (body.charset.empty()) return "text/plain";
    return "text/plain; charset=\"" + body.charset + "\"";
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void WriteAttachment(const TIdAttachment& part, TIdMessageLineWriter& writer) {
    writer.WriteLine("");
    writer.WriteLine("--" + std::string(kMimeBoundary));
    writer.WriteLine("Content-Type: application/octet-stream;");
    writer.WriteLine("        name=\"" + part.FileName + "\"");
    writer.WriteLine("Content-Transfer-Encoding: base64");
    writer.WriteLine("Content-Disposition: attachment;");
    writer.WriteLine("        filename=\"" + part.FileName + "\"");
    writer.WriteLine("");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(part.StoredPathName.c_str(), "rb"));
    if (!file)
        throw EIdException("Cannot open file \"" + part.StoredPathName + "\". " +
                           std::strerror(errno));
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
    writer.WriteLine("");
}

void WriteBody(const TIdMessage& message, const BodyText& body, TIdMessageLineWriter& writer) {
    if (message.Parts.empty()) {
        for (const std::string& line : body.lines) writer.WriteLine(line);
        return;
    }
    writer.WriteLine("This is a multi-part message in MIME format");
    writer.WriteLine("");
    writer.WriteLine("--" + std::string(kMimeBoundary));
    writer.WriteLine("Content-Type: " + TextContentType(body));
    writer.WriteLine("Content-Transfer-Encoding: " +
                     (body.transfer.empty() ? "7bit" : body.transfer));
    writer.WriteLine("");
    for (const std::string& line : body.lines) writer.WriteLine(line);
    for (const TIdAttachment& part : message.Parts) WriteAttachment(part, writer);
    writer.WriteLine("--" + std::string(kMimeBoundary) + "--");
}

TIdHeaderList BuildHeaders(const TIdMessage& message, const BodyText& body,
                           const THeaderCharset& charset) {
    bool multipart = !message.Parts.empty();
    bool declared = !multipart && !body.charset.empty();
    std::string contentType;
    if (multipart)
        contentType = "multipart/mixed; boundary=\"" + std::string(kMimeBoundary) + "\"";
    else if (declared)
        contentType = TextContentType(body);
    TIdHeaderList headers;
    headers.SetValue("From", EncodeAddressItem(message.From, charset));
    headers.SetValue("Subject", EncodeHeaderText(message.Subject, "", charset));
    headers.SetValue("To", EncodeAddressList(message.Recipients, charset));
    headers.SetValue("Cc", EncodeAddressList(message.CCList, charset));
    headers.SetValue("Content-Type", contentType);
    headers.SetValue("MIME-Version", multipart || declared ? "1.0" : "");
    headers.SetValue("Content-Transfer-Encoding", declared ? body.transfer : "");
    TIdMessageTime now = message.Clock ? message.Clock() : SystemMessageTime();
    headers.SetValue("Date", FormatMessageDate(now));
    headers.SetValue("X-Priority", std::to_string(static_cast<int>(message.Priority) + 1));
    headers.SetValue("X-Library", "Indy 9.00.10");
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
    Body.clear();
    Parts.clear();
    ExtraHeaders = {};
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
    return BuildHeaders(message, PrepareBody(message, charset), charset);
}

void WriteMessage(const TIdMessage& message, TIdMessageLineWriter& writer) {
    CheckMessageHeaders(message);
    THeaderCharset charset = HeaderCharset();
    BodyText body = PrepareBody(message, charset);
    TIdHeaderList headers = BuildHeaders(message, body, charset);
    for (const std::string& line : headers.Lines()) writer.WriteLine(line);
    writer.WriteLine("");
    writer.BeginBody();
    try {
        WriteBody(message, body, writer);
    } catch (...) {
        writer.EndBody();
        throw;
    }
    writer.EndBody();
}

}  // namespace murmel
