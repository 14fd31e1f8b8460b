#include "FaceImages.h"

#include <QComboBox>
#include <QVector>

#include "AddressBook.h"

static void LoadFaceResources() { Q_INIT_RESOURCE(faces); }

namespace murmel {

QIcon FaceIcon(int index) {
    static const QVector<QIcon> faces = [] {
        LoadFaceResources();  // the pictures may sit in a static library
        QVector<QIcon> icons;
        for (int n = 0; n < AddressBook::kFaceCount; ++n)
            icons.push_back(QIcon(QStringLiteral(":/faces/face%1.png").arg(n, 2, 10, QChar('0'))));
        return icons;
    }();
    return index >= 0 && index < faces.size() ? faces[index] : QIcon();
}

void FillFaceBox(QComboBox* box) {
    box->clear();
    box->setIconSize(QSize(16, 16));
    for (int n = 0; n < AddressBook::kFaceCount; ++n) box->addItem(FaceIcon(n), QString::number(n));
}

}  // namespace murmel
