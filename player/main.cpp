#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThreadPool>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "AudioOutput.h"
#include "FileAssociation.h"
#include "LibraryText.h"
#include "LookAndFeel.h"
#include "PlayerCommandLine.h"
#include "PlayerSettings.h"
#include "ProgramFolder.h"
#include "UserFolder.h"
#include "TForm1.h"
#include "Translations.h"

namespace {

std::unique_ptr<murmel::AudioOutput> OpenOutput() {
    try {
        return murmel::OpenAudioOutput();
    } catch (const std::exception& error) {
        // Without sound the window still opens and says why nothing is heard.
        QMessageBox::critical(nullptr, QCoreApplication::translate("TForm1", "语音邮件播放器"),
                              LibraryText(error.what()));
        return murmel::OpenAudioOutput("null");
    }
}

// SIGTERM, SIGINT and SIGHUP (a logout, a kill) close the window as its close button
// does, so the temporary files of a playing voice mail go with it.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

void CloseOnSignals(QWidget& window) {
    if (pipe(signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] { window.close(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments are the voice mail's path and nothing else: Qt is not shown them,
    // so no file name is ever taken for one of its options.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    ApplyLookAndFeel(application);
    // [Interface] Language in Murmelplay.ini overrides the desktop's language.
    LoadTranslations(application,
                     InterfaceLocale(murmel::PlayerSettings(murmel::UserFolder() +
                                                            murmel::PlayerSettings::kFileName)
                                         .Language()));
    application.setWindowIcon(QIcon(QStringLiteral(":/murmelplay.png")));

    // Every start re-points ".mvm" at this player, off the window thread.
    QThreadPool::globalInstance()->start([] { murmel::RegisterFileType(murmel::ProgramFolder()); });

    const std::string fileName = murmel::CommandLineFileName(arguments);

    std::unique_ptr<murmel::AudioOutput> output = OpenOutput();
    int status = 0;
    {
        murmel::TForm1 window(*output, fileName, !arguments.empty());
        CloseOnSignals(window);
        window.show();
        status = application.exec();
    }
    return status;
}
