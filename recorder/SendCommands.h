#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>

// The fields of the message being written, as the send buttons take them.
struct NewMailFields {
    QString to, subject, body;
    QStringList attachments;
};

// The two send buttons' behaviour.
class SendCommands : public QObject {
    Q_OBJECT
  public:
    SendCommands(QWidget* formMain, std::string programFolder);
    void SendOwn(const NewMailFields& fields);
    void HandOff(const NewMailFields& fields);
    void WaitForJobs();
};
