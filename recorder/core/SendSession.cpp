#include "SendSession.h"

#include "GbkText.h"
#include "PrintableText.h"

namespace murmel {

struct SendSession::Shared {
    SendSessionView* view = nullptr;
    std::function<void(bool)>* onEnded = nullptr;
    bool ended = false;
    bool accepted = false;
    std::string reason;  // the line the dialog was shown, also after it closed
};

namespace {

// Length of the UTF-8 sequence starting at `i`, or 0 when it is not one.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string AsUtf8(const std::string& text) {
    if (IsUtf8(text)) return text;
    try {
        std::string converted = GbkToUtf8(text);
        if (IsUtf8(converted)) return converted;
    } catch (const std::exception&) {
    }
    std::string ascii = text;  // neither: keep what is plainly readable
    for (char& c : ascii)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return ascii;
}

}  // namespace

std::string ReasonText(const std::string& reason) { return PrintableLine(AsUtf8(reason)); }

std::string ReasonLine(const std::string& reason) {
    std::string text = ReasonText(reason);
    std::string line;
    size_t characters = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8SequenceLength(text, i);
        if (characters == kMaxReasonLength) {
            line += "…";
            break;
        }
        if (text[i] == ' ') {
            if (!line.empty() && line.back() != ' ') line += ' ', ++characters;
        } else {
            line.append(text, i, length);
            ++characters;
        }
        i += length;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string SendOutcomeText(bool accepted, const std::string& reasonLine) {
    return accepted ? "邮件发送成功" : "邮件发送失败：" + reasonLine;
}

SendSession::SendSession(TSendMailFields fields, std::string programFolder, UIThreadPost& post,
                         Options options)
    : shared_(std::make_shared<Shared>()),
      post_(post),
      programFolder_(programFolder),
      options_(std::move(options)),
      job_(std::move(fields), std::move(programFolder), *this) {
    if (!options_.clock) {
        ownClock_ = std::make_unique<WallClock>();
        options_.clock = ownClock_.get();
    }
    shared_->onEnded = &OnEnded;
}

SendSession::~SendSession() {
    Detach();
    shared_->onEnded = nullptr;
    job_.Wait();
}

void SendSession::Attach(SendSessionView* view) { shared_->view = view; }

void SendSession::Detach() { shared_->view = nullptr; }

void SendSession::Start() { job_.Start(); }

void SendSession::Cancel() { job_.Cancel(); }

bool SendSession::Ended() const { return shared_->ended; }

std::string SendSession::OutcomeText() const {
    return SendOutcomeText(shared_->accepted, shared_->reason);
}

void SendSession::PostToView(std::function<void(SendSessionView&)> call) {
    post_.Post([shared = shared_, call = std::move(call)] {
        if (shared->view) call(*shared->view);
    });
}

void SendSession::CaptionChanged(const std::string& captionGbk) {
    PostToView(
        [caption = GbkToUtf8(captionGbk)](SendSessionView& view) { view.ShowCaption(caption); });
}

void SendSession::WorkBegin(int64_t total) {
    latestPosition_ = 0;
    PostToView([total](SendSessionView& view) {
        view.SetMaximum(total);
        view.SetPosition(0);
    });
}

void SendSession::Work(int64_t position) {
    latestPosition_ = position;
    int64_t now = options_.clock->NowMs();
    if (now - lastProgressMs_ < kProgressIntervalMs) return;  // the end brings the rest
    lastProgressMs_ = now;
    PostPosition();
}

void SendSession::PostPosition() {
    PostToView(
        [position = latestPosition_.load()](SendSessionView& view) { view.SetPosition(position); });
}

// The bar keeps its place until the server has answered the end of the data.
void SendSession::WorkEnd() { PostPosition(); }

void SendSession::MessageAccepted() {
    if (options_.playSound) options_.playSound(programFolder_ + "notify.wav");
}

void SendSession::Failed(const std::string& reason) {
    // Also for a job that stopped before connecting, which sets no caption itself.
    post_.Post([shared = shared_, caption = GbkToUtf8(CaptionFailed()), line = ReasonLine(reason)] {
        shared->reason = line;
        if (!shared->view) return;
        shared->view->ShowCaption(caption);
        shared->view->ShowReason(line);
    });
}

void SendSession::Finished(bool accepted) {
    post_.Post([shared = shared_, accepted] {
        shared->ended = true;
        shared->accepted = accepted;
        if (accepted && shared->view) shared->view->CloseAfterSuccess();
        if (shared->onEnded && *shared->onEnded) (*shared->onEnded)(accepted);
    });
}

}  // namespace murmel
