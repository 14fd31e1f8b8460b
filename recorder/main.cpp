#include <QApplication>

#include "LookAndFeel.h"
#include "ProgramFolder.h"
#include "TFormMain.h"
#include "Translations.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Murmel"));
    ApplyLookAndFeel(application);
    LoadTranslations(application);
    TFormMain formMain(murmel::ProgramFolder());
    formMain.show();
    return application.exec();
}
