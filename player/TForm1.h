#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "PlayerCore.h"
#include "PlayerSettings.h"

class QProgressDialog;

namespace Ui {
class TForm1;
}

namespace murmel {

// The player window: forwards the user's actions to PlayerCore and shows what it
// reports. Its 50 ms progress timer runs while the core says so.
class TForm1 : public QWidget, private PlayerListener {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 50;
    static constexpr int kCommandLineDelayMs = 1000;

    // COMMAND_LINE_FILE is what FormShow takes from the command line; HAS_ARGUMENTS
    // says whether there was one. The output must outlive the window.
    TForm1(AudioOutput& output, std::string commandLineFile, bool hasArguments,
           QWidget* parent = nullptr);
    ~TForm1() override;

    PlayerCore& Core() { return core_; }
    QTimer& TmProgress() { return tmProgress_; }
    QTimer& Timer1() { return timer1_; }

    // The speed is kept in PlayerSettings::kFileName in the program folder; another
    // file (tests) is read at once and written from then on.
    void UseSettingsFile(const std::string& path);
    bool Exporting() const { return exportThread_.joinable(); }

    static constexpr int64_t kSeekStepMs = 5000;  // Left and Right
    static constexpr int kDragSeekMs = 200;       // a drag jumps at most this often

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private slots:
    void TmProgressTimer();
    void Timer1Timer();
    void BitBtn1Click();
    void BitBtn2Click();
    void cbMusicClick(bool checked);
    void Label2Click();
    void sbtnSpeedClick();
    void bitbtnExportClick();

  private:
    // PlayerListener
    void DisplayChanged(const PlayerDisplay& display) override;
    std::string ChooseVoiceMail() override;
    void OpenFailed(const std::string& fileName, const std::string& reason) override;
    void PlaybackFailed(const std::string& reason) override;

    // Runs a core call; an error it raises is shown as the program's error display does.
    template <typename Call>
    void Guarded(Call&& call);
    void ShowError(const QString& text);
    void ShowMessageLine(const QString& text, const QString& detail);
    void HideMessageLine();
    void ShowSpeed();
    void ShowMusicBox(bool available);
    void SeekTo(int64_t ms);
    static bool PressedByReturn(QObject* watched, QEvent* event);
    void AddShortcuts();
    void ExportProgressed(int64_t doneMs, int64_t totalMs);
    void ExportFinished(const std::string& error, bool cancelled);

    std::unique_ptr<Ui::TForm1> ui_;
    AudioOutput& output_;
    QTimer tmProgress_;
    QTimer timer1_;
    std::string commandLineFile_;
    bool hasArguments_;
    bool shown_ = false;
    bool musicChosen_ = true;  // cbMusic as the user left it, kept while it is disabled
    int64_t nextTickMs_ = 0;
    PlayerSettings settings_;
    QElapsedTimer lastDragSeek_;
    std::thread exportThread_;
    std::atomic<bool> exportCancel_{false};
    QProgressDialog* exportProgress_ = nullptr;
    // Last, so that it goes first: closing it tells the window, whose timers and
    // widgets must still be there.
    PlayerCore core_;
};

}  // namespace murmel
