#include "LookAndFeel.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStyleFactory>

void ApplyLookAndFeel(QApplication& application) {
    // Fusion follows the palette the platform theme gives, so a dark desktop stays dark.
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
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
