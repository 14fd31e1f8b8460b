#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "IdMessage.h"
#include "IdSMTP.h"

namespace murmel {

// What the user filled in, copied before the worker starts. Text is UTF-8, as the
// window and the terminal give it; attachments are full paths.
struct TSendMailFields {
    std::string Recipient;
    std::string Subject;
    std::string Body;
    std::vector<std::string> Attachments;
};

// Reports of a send job, raised on its worker thread: the receiver carries them
// over to its own thread (the progress dialog) or prints them (murmel-cli).
class TSendMailListener {
  public:
    virtual ~TSendMailListener() = default;
    virtual void CaptionChanged(const std::string& captionGbk) = 0;
    virtual void WorkBegin(int64_t total) { (void)total; }  // the bar's maximum: BodySize()
    virtual void Work(int64_t position) { (void)position; }
    virtual void WorkEnd() {}          // position 0, close the dialog
    virtual void MessageAccepted() {}  // play "notify.wav"
    virtual void Failed(const std::string& reason) { (void)reason; }
    virtual void Finished(bool accepted) { (void)accepted; }
};

// Captions of the progress dialog (GBK).
std::string CaptionCreated();     // "正在发送......"
std::string CaptionConnecting();  // "正在连接..."
std::string CaptionSending();     // "正在发送语音邮件"
std::string CaptionSucceeded();   // "邮件发送成功"
std::string CaptionFailed();      // "错误,已断开连接"

// One line saying why a send failed, for the user: the server's reply with its code,
// the system's words for a socket failure, the TLS problem.
std::string SendFailureReason(const std::exception& error);

// The port to connect to: "SMTP"/"ServerPort" when it holds a valid port, else 25.
int SmtpPortFromSetting(const std::string& text);

// One own-SMTP send: builds the message from the fields, the "SMTP" settings of
// the program folder and the footer, then connects, sends and disconnects on its
// worker thread. One job per send; it owns its message and SMTP client.
class TSendMailThread {
  public:
    TSendMailThread(TSendMailFields fields, std::string programFolder, TSendMailListener& listener);
    ~TSendMailThread();  // waits for the worker
    TSendMailThread(const TSendMailThread&) = delete;
    TSendMailThread& operator=(const TSendMailThread&) = delete;

    void Start();
    void Wait();
    // Any thread: closes the connection at once, so a blocked worker fails; a
    // cancel before the connection is made keeps the job from connecting.
    void Cancel();

    int64_t Total() const { return total_.load(); }  // bytes of all attachment files
    // Bytes of the encoded body as it goes out (MIME framing, text part, attachments),
    // the count the progress reaches at the end of the transfer.
    int64_t BodySize() const { return bodySize_.load(); }
    bool Accepted() const { return accepted_.load(); }
    bool Running() const { return running_.load(); }

    // The job itself, on the calling thread.
    void Execute();

  private:
    bool BuildMessage();
    void AddBody();
    void Deliver();

    TSendMailFields fields_;
    std::string programFolder_;
    TSendMailListener& listener_;
    TIdMessage message_;
    TIdSMTP smtp_;
    std::thread worker_;
    std::atomic<int64_t> total_{0};
    std::atomic<int64_t> bodySize_{0};
    std::atomic<bool> accepted_{false};
    std::atomic<bool> running_{false};
};

}  // namespace murmel
