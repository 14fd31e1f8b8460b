#pragma once
// Hands a message to the desktop's mail program, whose compose window opens
// prefilled; the user sends from there. Runs xdg-email with one mailto: address
// that carries every field percent-encoded: xdg-email passes text of its own
// options through the shell's echo, which reads "\c", "\n" or "\t" in a path or
// a sentence as commands, so none of ours goes that way.
#include <cstdint>
#include <string>
#include <vector>

namespace murmel {

// Result codes of TMAPIMail::Send besides xdg-email's own exit status.
inline constexpr int32_t kMapiSuccess = 0;
inline constexpr int32_t kMapiFailure = 1;              // no mail program to hand over to
inline constexpr int32_t kMapiAttachmentNotFound = 11;  // as Simple MAPI numbers it

class TMAPIMail {
  public:
    // Texts are UTF-8; attachments are full paths.
    std::string Subject;
    std::string Body;
    // One recipient text per entry; "CC:" or "BCC:" in front (any letter case)
    // makes it a copy or a blind copy.
    std::vector<std::string> Recipients;
    std::vector<std::string> Attachments;
    bool EditDialog = true;                 // xdg-email always shows the compose window
    std::string SenderName, SenderAddress;  // the mail program fills in the sender

    // The program that stands in for the system's mail interface.
    static constexpr const char* kProgram = "xdg-email";

    // Whether the hand-off can be made at all: xdg-email is on PATH.
    static bool Present();

    // The fields as one mailto: address: "to", "cc" and "bcc" per recipient, then
    // "subject", "body" (line breaks as CR LF) and "attach" with each file's
    // absolute path, every byte but letters, digits and ".-@/" percent-encoded.
    std::string MailtoAddress() const;
    // The argument vector for xdg-email, program name first.
    std::vector<std::string> Arguments() const;

    // Hands the message over and waits for xdg-email to return (call it off the
    // window thread). True when it exits 0; the code is kept either way. Every
    // attachment must be a readable file: else nothing is handed over, the code
    // is kMapiAttachmentNotFound and MissingAttachment() names the file.
    bool Send();
    int32_t ResultCode() const { return resultCode_; }
    // Why the last hand-off failed, in the system's words; empty after success.
    const std::string& FailureText() const { return failureText_; }
    const std::string& MissingAttachment() const { return missingAttachment_; }

  private:
    bool AttachmentsReadable();

    int32_t resultCode_ = kMapiSuccess;
    std::string failureText_;
    std::string missingAttachment_;
};

}  // namespace murmel
