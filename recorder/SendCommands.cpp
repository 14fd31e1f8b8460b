#include "SendCommands.h"

#include <QMessageBox>
#include <algorithm>
#include <mutex>
#include <thread>

#include "CompletionSound.h"
#include "FormSendMail.h"
#include "LibraryText.h"
#include "MailHandOff.h"
#include "SendCounter.h"
#include "SendSession.h"

using namespace murmel;

// Carries work from other threads to the window thread while SendCommands lives;
// afterwards posts are dropped, so a late worker finds nothing to call.
class SendCommands::Channel : public UIThreadPost {
  public:
    explicit Channel(QObject* receiver) : receiver_(receiver) {}
    void Post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(lock_);
        if (receiver_) QMetaObject::invokeMethod(receiver_, std::move(task), Qt::QueuedConnection);
    }
    void Close() {
        std::lock_guard<std::mutex> lock(lock_);
        receiver_ = nullptr;
    }

  private:
    std::mutex lock_;
    QObject* receiver_;
};

TSendMailFields ToSendMailFields(const NewMailFields& fields) {
    TSendMailFields result{
        fields.to.toStdString(), fields.subject.toStdString(), fields.body.toStdString(), {}};
    for (const QString& path : fields.attachments) result.Attachments.push_back(path.toStdString());
    return result;
}

SendCommands::SendCommands(QWidget* formMain, std::string programFolder)
    : QObject(formMain),
      channel_(std::make_shared<Channel>(this)),
      formMain_(formMain),
      programFolder_(std::move(programFolder)) {}

SendCommands::~SendCommands() {
    channel_->Close();
    WaitForJobs();
}

void SendCommands::SendOwn(const NewMailFields& fields) {
    ReapEndedSessions();
    SendSession::Options options;
    options.playSound = [](const std::string& path) { PlayCompletionSound(path); };
    // Each send has its own job, message and connection; an earlier one may still run.
    auto owned = std::make_unique<SendSession>(ToSendMailFields(fields), programFolder_, *channel_,
                                               std::move(options));
    SendSession* session = owned.get();
    sessions_.push_back(std::move(owned));
    // Esc or the close box hide the dialog, not the send: its end is still told.
    session->OnEnded = [this, session](bool) {
        emit SendEnded(QString::fromStdString(session->OutcomeText()));
    };
    {
        TFormSendMail dialog(formMain_, *session);
        openDialog_ = &dialog;
        session->Attach(&dialog);
        session->Start();
        dialog.exec();
        openDialog_ = nullptr;
        // The close box leaves the job running; it reports to nobody from here on.
        // (Closing time may already have collected it while the dialog was up.)
        if (std::any_of(sessions_.begin(), sessions_.end(),
                        [&](const auto& owned) { return owned.get() == session; }))
            session->Detach();
    }
    RequestSendCounter();
}

void SendCommands::HandOff(const NewMailFields& fields) {
    TSendMailFields sendFields = ToSendMailFields(fields);
    if (!RecipientLooksValid(sendFields.Recipient)) {
        ShowMessage(QString::fromStdString(RecipientLooksWrongMessage()));
        return;
    }
    // The mail program may take its time (or stay until the user closes it), so it
    // runs on a thread of its own that nothing waits for; its answer comes back
    // through the channel while this object lives.
    auto mail = std::make_shared<TMAPIMail>(MakeHandOffMail(sendFields));
    std::thread([mail, channel = channel_, this] {
        bool handedOver = mail->Send();
        channel->Post([this, mail, handedOver] {
            if (!handedOver)
                ShowMessage(QString::fromStdString(HandOffFailureMessage(*mail, programFolder_)));
            RequestSendCounter();
            emit HandOffEnded(handedOver);
        });
    }).detach();
}

void SendCommands::WaitForJobs() {
    if (openDialog_) openDialog_->reject();  // its job is about to go
    for (auto& session : sessions_)
        if (!session->Ended()) session->Cancel();
    for (auto& session : sessions_) session->Wait();
    sessions_.clear();
}

size_t SendCommands::RunningJobs() const {
    return std::count_if(sessions_.begin(), sessions_.end(),
                         [](const auto& session) { return !session->Ended(); });
}

// A session whose end has reached this thread has a worker that is returning.
void SendCommands::ReapEndedSessions() {
    std::erase_if(sessions_, [](const auto& session) { return session->Ended(); });
}

// Plain text: a file name in the message is never read as markup.
void SendCommands::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::Warning, formMain_->window()->windowTitle(), LibraryText(text),
                    QMessageBox::Ok, formMain_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
