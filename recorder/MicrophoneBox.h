#pragma once
// The settings dialog's choice of the microphone: "系统默认" first, then the sound
// server's inputs, then the monitors of its outputs. The sources are asked for on
// a thread of their own (a hung server would otherwise freeze the dialog for
// seconds); the box fills in when they arrive.
#include <QObject>
#include <string>
#include <vector>

#include "CaptureDevice.h"

class QComboBox;

class MicrophoneBox : public QObject {
    Q_OBJECT
  public:
    MicrophoneBox(QComboBox* box, QObject* parent);

    // Shows `source` (empty: the default) as chosen, also while it is not listed.
    void Show(const std::string& source);
    std::string Chosen() const;
    // Asks the sound server for its sources again, unless a question is out.
    void Refresh();
    bool Refreshing() const { return refreshing_; }

  signals:
    void Refreshed();

  private:
    void Fill(const std::vector<murmel::CaptureSource>& sources);

    QComboBox* box_;
    std::vector<murmel::CaptureSource> sources_;
    bool refreshing_ = false;
};
