#include <QApplication>

#include "LookAndFeel.h"
#include "SettingsStore.h"
#include "UserFolder.h"
#include "TFormMain.h"
#include "Translations.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Murmel"));
    ApplyLookAndFeel(application);
    const std::string userFolder = murmel::UserFolder();
    // [Interface] Language in user.dll overrides the desktop's language.
    LoadTranslations(application,
                     InterfaceLocale(murmel::SettingsStore(userFolder)
                                         .ReadText("Interface", "Language", "")));
    TFormMain formMain(userFolder);
    formMain.show();
    return application.exec();
}
