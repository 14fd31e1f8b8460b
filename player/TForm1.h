#pragma once
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "PlayerCore.h"

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

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private slots:
    void TmProgressTimer();
    void Timer1Timer();
    void BitBtn1Click();
    void BitBtn2Click();
    void cbMusicClick(bool checked);
    void Label2Click();

  private:
    // PlayerListener
    void DisplayChanged(const PlayerDisplay& display) override;
    std::string ChooseVoiceMail() override;
    void OpenFailed(const std::string& fileName, const std::string& reason) override;

    // Runs a core call; an error it raises is shown as the program's error display does.
    template <typename Call>
    void Guarded(Call&& call);
    void ShowError(const QString& text);
    void ShowMessageLine(const QString& text, const QString& detail);
    void HideMessageLine();

    std::unique_ptr<Ui::TForm1> ui_;
    AudioOutput& output_;
    PlayerCore core_;
    QTimer tmProgress_;
    QTimer timer1_;
    std::string commandLineFile_;
    bool hasArguments_;
    bool shown_ = false;
    int64_t nextTickMs_ = 0;
};

}  // namespace murmel
