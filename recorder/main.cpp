#include <QApplication>

#include "LookAndFeel.h"
#include "ProgramFolder.h"
#include "SettingsStore.h"
#include "TFormMain.h"
#include "Translations.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Murmel"));
    ApplyLookAndFeel(application);
    // [Interface] Language in user.dll overrides the desktop's language.
    LoadTranslations(
        application,
        InterfaceLocale(
            murmel::SettingsStore(murmel::ProgramFolder()).ReadText("Interface", "Language", "")));
    TFormMain formMain(murmel::ProgramFolder());
    formMain.show();
    return application.exec();
}
