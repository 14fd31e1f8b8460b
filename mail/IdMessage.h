#pragma once
#include <cstdint>
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
    bool FileNameUtf8 = false;   // the name is UTF-8, not in the locale's code page
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
    bool SubjectUtf8 = false;       // the subject is UTF-8, not in the locale's code page
    std::vector<std::string> Body;  // entries may hold line breaks
    bool BodyUtf8 = false;          // every body entry is UTF-8
    std::vector<TIdAttachment> Parts;
    TIdMessagePriority Priority = mpNormal;
    TIdHeaderList ExtraHeaders;
    TIdMessageClock Clock;  // empty: the system's local time
    std::string MsgId;      // "Message-ID" after the fixed headers; empty: none

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

inline constexpr size_t kMaxLineOctets = 998;  // longest line a mail may carry

// The header lines, built afresh for this moment and the locale's charset row.
TIdHeaderList BuildHeaderLines(const TIdMessage& message);

// Header lines, an empty line and the body. The text part goes as 8-bit only
// where eightBitAllowed (the server offers 8BITMIME) and no line is longer than
// 998 octets; else base64, or quoted-printable for 7-bit text. Throws EIdException.
void WriteMessage(const TIdMessage& message, TIdMessageLineWriter& writer,
                  bool eightBitAllowed = true);

// What the SMTP client declares before the message goes out.
struct TIdMessageTransport {
    bool eightBit = false;  // the text part goes as 8-bit (BODY=8BITMIME)
    uint64_t size = 0;      // octets WriteMessage writes, attachments by their size now
    uint64_t bodySize = 0;  // the part of them between BeginBody and EndBody
};
TIdMessageTransport MessageTransport(const TIdMessage& message, bool eightBitAllowed);

// A new "<random@domain>" for mail from this address (the address's domain when
// it has a usable one).
std::string NewMessageId(std::string_view fromAddress);

}  // namespace murmel
