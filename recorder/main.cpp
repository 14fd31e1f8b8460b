#include <QApplication>
#include <QLabel>

// Placeholder window until the Murmel window is built.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QLabel label(QStringLiteral("Murmel"));
    label.setMinimumSize(320, 120);
    label.setAlignment(Qt::AlignCenter);
    label.show();
    return application.exec();
}
