#pragma once
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "HeaderCharset.h"
#include "IdEMailAddress.h"
#include "IdHeaderCoding.h"

namespace murmel {

enum TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

// One attachment part: the file is read when the part is written.
struct TIdAttachment {
    std::string StoredPathName;  // full path of the file
    std::string FileName;        // name written into the part, code-page bytes
};

// The moment a message is dated with: local time and its offset from UTC.
struct TIdMessageTime {
    std::tm local{};
    int utcOffsetMinutes = 0;
};
using TIdMessageClock = std::function<TIdMessageTime()>;

// The current local time from the C library. Throws EIdException ("Failed
// attempting to retrieve time zone information.") when it cannot be had.
TIdMessageTime SystemMessageTime();

// "Tue, 5 Mar 2024 14:03:09 +0800".
std::string FormatMessageDate(const TIdMessageTime& time);

// The message as the recorder sends it. Text fields hold bytes of the charset
// row's code page.
struct TIdMessage {
    TIdEMailAddressList Recipients, CCList, BccList;
    TIdEMailAddressItem From;
    std::string Subject;
    std::vector<std::string> Body;  // entries may hold line breaks
    std::vector<TIdAttachment> Parts;
    TIdMessagePriority Priority = mpNormal;
    TIdHeaderList ExtraHeaders;
    TIdMessageClock Clock;  // empty: the system's local time

    // Empties everything a send fills, so that nothing carries over.
    void Clear();
};

inline constexpr std::string_view kMimeBoundary = "=_NextPart_2rfkindysadvnqw3nerasdf";

// Where WriteMessage puts its lines (each line gets CR LF appended by the writer).
// BeginBody and EndBody bracket the body; EndBody also runs when the body fails.
class TIdMessageLineWriter {
  public:
    virtual ~TIdMessageLineWriter() = default;
    virtual void WriteLine(std::string_view line) = 0;
    virtual void BeginBody() {}
    virtual void EndBody() {}
};

// Refuses CR or LF inside an address, a name, the subject or an attachment name,
// which would let the text add header lines or SMTP commands. Throws EIdException.
void CheckMessageHeaders(const TIdMessage& message);

// The header lines, built afresh for this moment and the locale's charset row.
TIdHeaderList BuildHeaderLines(const TIdMessage& message);

// Header lines, an empty line and the body. Throws EIdException.
void WriteMessage(const TIdMessage& message, TIdMessageLineWriter& writer);

}  // namespace murmel
