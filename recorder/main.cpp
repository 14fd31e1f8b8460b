#include <QApplication>

#include "LookAndFeel.h"
#include "ProgramFolder.h"
#include "TFormMain.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Murmel"));
    ApplyLookAndFeel(application);
    TFormMain formMain(murmel::ProgramFolder());
    formMain.show();
    return application.exec();
}
