#pragma once
// The dialog shown at start when recordings were left unsaved by a crash, a kill
// or a closed window: each with its date and length, to recover (saved into
// "MyVoice" and added to the attachment list) or discard. What is neither stays
// for the next start; nothing is deleted without the user's word.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "RecordingRecovery.h"

namespace Ui {
class TFormRecovery;
}

class TFormRecovery : public QDialog {
    Q_OBJECT
  public:
    // `recovered` is called with the path of every recording saved.
    TFormRecovery(murmel::RecoveryScan scan, std::string programFolder,
                  std::function<void(const std::string&)> recovered, QWidget* parent = nullptr);
    ~TFormRecovery() override;

  public slots:
    void bitbtnRecoverClick();
    void bitbtnDiscardClick();

  private:
    void Fill();
    // The orphans behind the selected rows, highest row first so removing keeps
    // the others' indexes.
    std::vector<int> SelectedRows() const;
    void Finish();

    std::unique_ptr<Ui::TFormRecovery> ui;
    murmel::RecoveryScan scan_;
    std::string programFolder_;
    std::function<void(const std::string&)> recovered_;
};
