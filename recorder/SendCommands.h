#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "SendMailThread.h"

namespace murmel {
class SendSession;
}
class TFormSendMail;

// The fields of the message being written, as the send buttons take them.
struct NewMailFields {
    QString to, subject, body;
    QStringList attachments;
};

murmel::TSendMailFields ToSendMailFields(const NewMailFields& fields);

// The two send buttons' behaviour once the window has stopped and saved a running
// recording: the own SMTP send with its progress dialog, and the hand-off to the
// desktop's mail program. Neither makes the window thread wait on the network or
// on a child program.
class SendCommands : public QObject {
    Q_OBJECT
  public:
    SendCommands(QWidget* formMain, std::string programFolder);
    ~SendCommands() override;

    // Shows the modal progress dialog while a new job sends; returns when it closes.
    void SendOwn(const NewMailFields& fields);
    // Hands the fields to the desktop's mail program; returns at once.
    void HandOff(const NewMailFields& fields);
    // Cancels the jobs still running and waits for their workers (closing time).
    void WaitForJobs();

    // Jobs whose workers have not been collected yet.
    size_t RunningJobs() const;

  signals:
    // A hand-off has come back, after any message about it was shown.
    void HandOffEnded(bool handedOver);
    // An own send has ended, its dialog still up or long closed: what the status
    // bar should say ("邮件发送成功" or why it failed).
    void SendEnded(const QString& outcome);

  private:
    class Channel;
    void ReapEndedSessions();
    void ShowMessage(const QString& text);

    std::shared_ptr<Channel> channel_;  // first: outlives the sessions that post to it
    QWidget* formMain_;
    std::string programFolder_;
    std::vector<std::unique_ptr<murmel::SendSession>> sessions_;
    QPointer<TFormSendMail> openDialog_;  // while SendOwn shows it
};
