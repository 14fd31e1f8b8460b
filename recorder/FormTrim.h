#pragma once
// The trim window: the recording's waveform with start and end marks, listening to
// the selection and around each mark, and saving the trim as a new recording beside
// the original or in its place. Decoding, saving and sound run on other threads.
#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "TrimPreview.h"
#include "TrimSource.h"

namespace Ui {
class TFormTrim;
}

class TFormTrim : public QDialog {
    Q_OBJECT
  public:
    // `saved` is called with the path of a trim saved as a new recording.
    TFormTrim(std::string path, std::function<void(const std::string&)> saved,
              QWidget* parent = nullptr);
    ~TFormTrim() override;

    // Around a mark, this much is played on either side.
    static constexpr int64_t kAroundMarkMs = 2000;

  public slots:
    void sbStartChange(int value);
    void sbEndChange(int value);
    void bitbtnPlayStartClick();
    void bitbtnPlayEndClick();
    void bitbtnPlaySelectionClick();
    void bitbtnSaveNewClick();
    void bitbtnReplaceClick();

  signals:
    void Ready();  // the waveform is shown, or the recording could not be read

  private:
    void Opened(std::shared_ptr<murmel::TrimSource> source, std::vector<murmel::WaveformPeak> peaks,
                const QString& failure);
    void ShowSelection();
    void SetBusy(bool busy);
    void RunInBackground(std::function<void()> work, std::function<void()> done);
    void PlaySpan(int64_t fromMs, int64_t toMs);

    std::unique_ptr<Ui::TFormTrim> ui;
    std::string path_;
    std::function<void(const std::string&)> saved_;
    std::shared_ptr<murmel::TrimSource> source_;
    std::unique_ptr<murmel::TrimPreview> preview_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
};
