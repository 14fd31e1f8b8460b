#pragma once
// One own-SMTP send as the progress dialog sees it: the job on its worker thread,
// its reports carried to the UI thread, progress coalesced, the outcome kept.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Clock.h"
#include "SendMailThread.h"
#include "UIThreadPost.h"

namespace murmel {

// What the dialog shows; every call comes on the UI thread. Texts are UTF-8.
class SendSessionView {
  public:
    virtual ~SendSessionView() = default;
    virtual void ShowCaption(const std::string& caption) = 0;
    virtual void ShowReason(const std::string& reason) = 0;  // one line under the caption
    virtual void SetMaximum(int64_t maximum) = 0;
    virtual void SetPosition(int64_t position) = 0;
    // The server has accepted the message: show it briefly, then close.
    virtual void CloseAfterSuccess() = 0;
};

// Progress updates reach the UI thread at most this often (about 30 a second).
inline constexpr int64_t kProgressIntervalMs = 34;
// Longest failure reason shown, in characters; the rest is cut with "…".
inline constexpr size_t kMaxReasonLength = 200;

// A failure reason as one line of valid UTF-8, safe for a terminal: text that is
// not UTF-8 is read as GBK; line breaks and tabs become spaces, other control
// characters visible escapes (PrintableLine).
std::string ReasonText(const std::string& reason);
// The same, runs of spaces made one and overlong text cut, for the dialog.
std::string ReasonLine(const std::string& reason);

// What the main window's status bar says when a send has ended, whether or not
// its dialog is still up: "邮件发送成功", or "邮件发送失败：" and the reason line.
std::string SendOutcomeText(bool accepted, const std::string& reasonLine);

class SendSession : private TSendMailListener {
  public:
    struct Options {
        // Plays "notify.wav" without waiting; called on the worker thread.
        std::function<void(const std::string& path)> playSound;
        Clock* clock = nullptr;  // for the progress pace; the wall clock when null
    };

    SendSession(TSendMailFields fields, std::string programFolder, UIThreadPost& post,
                Options options);
    ~SendSession();  // waits for the worker; a running job should be cancelled first
    SendSession(const SendSession&) = delete;
    SendSession& operator=(const SendSession&) = delete;

    // UI thread. The view gets every report from Attach on, until Detach.
    void Attach(SendSessionView* view);
    void Detach();
    void Start();
    // Closes the connection at once; the job ends on its failure path.
    void Cancel();
    // Runs the job's end on the UI thread, after every earlier report.
    std::function<void(bool accepted)> OnEnded;

    bool Ended() const;  // the end has reached the UI thread
    // After the end: SendOutcomeText for this send.
    std::string OutcomeText() const;
    bool Accepted() const { return job_.Accepted(); }
    void Wait() { job_.Wait(); }
    const TSendMailThread& Job() const { return job_; }

  private:
    // UI-thread state, shared with the posted tasks so that a task still queued
    // when the session goes finds the view detached instead of a dead object.
    struct Shared;

    void CaptionChanged(const std::string& captionGbk) override;
    void WorkBegin(int64_t total) override;
    void Work(int64_t position) override;
    void WorkEnd() override;
    void MessageAccepted() override;
    void Failed(const std::string& reason) override;
    void Finished(bool accepted) override;

    void PostToView(std::function<void(SendSessionView&)> call);
    void PostPosition();

    std::shared_ptr<Shared> shared_;
    UIThreadPost& post_;
    std::string programFolder_;
    Options options_;
    std::unique_ptr<Clock> ownClock_;
    std::atomic<int64_t> latestPosition_{0};
    int64_t lastProgressMs_ = INT64_MIN / 2;  // worker only
    TSendMailThread job_;                     // last: its worker ends before the rest goes
};

}  // namespace murmel
