#include <QApplication>

#include "LookAndFeel.h"
#include "UserFolder.h"
#include "TFormMain.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Murmel"));
    ApplyLookAndFeel(application);
    TFormMain formMain(murmel::UserFolder());
    formMain.show();
    return application.exec();
}
