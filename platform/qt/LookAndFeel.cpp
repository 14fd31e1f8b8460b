#include "LookAndFeel.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QStyleFactory>

void ApplyLookAndFeel(QApplication& application) {
    // The palette the platform theme gives is kept, so a dark desktop stays dark.
    const QPalette desktopPalette = application.palette();
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    application.setPalette(desktopPalette);
    QFont font = application.font();
    // Families with Chinese glyphs, first found wins; the default font stays as a
    // last resort for everything else.
    static const char* const kChineseFamilies[] = {"Noto Sans CJK SC",    "Source Han Sans SC",
                                                   "WenQuanYi Micro Hei", "WenQuanYi Zen Hei",
                                                   "Droid Sans Fallback", "AR PL UMing CN"};
    const QStringList available = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QStringList families;
    for (const char* family : kChineseFamilies)
        if (available.contains(QString::fromLatin1(family)))
            families << QString::fromLatin1(family);
    if (families.isEmpty() && !available.isEmpty()) families << available.first();
    if (families.isEmpty()) return;
    families << font.families();
    font.setFamilies(families);
    application.setFont(font);
}
