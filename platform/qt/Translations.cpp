#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

constexpr const char* kTranslatorName = "murmelTranslator";
constexpr const char* kOwnTranslations = ":/i18n";

QTranslator* NewTranslator(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    translator->setObjectName(QString::fromLatin1(kTranslatorName));
    return translator;
}

void Install(QTranslator* translator, bool loaded) {
    if (loaded)
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

}  // namespace

QLocale InterfaceLocale(const std::string& setting) {
    return setting.empty() ? QLocale::system() : QLocale(QString::fromStdString(setting));
}

InterfaceLanguage LanguageFor(const QLocale& locale) {
    const QStringList languages = locale.uiLanguages();
    const QString first = languages.isEmpty() ? locale.name() : languages.first();
    return first.startsWith(QLatin1String("zh"), Qt::CaseInsensitive) ? InterfaceLanguage::Chinese
                                                                      : InterfaceLanguage::English;
}

InterfaceLanguage LoadTranslations(QCoreApplication& application, const QLocale& locale) {
    for (QTranslator* old : application.findChildren<QTranslator*>(
             QString::fromLatin1(kTranslatorName), Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    const InterfaceLanguage language = LanguageFor(locale);
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language == InterfaceLanguage::Chinese) {
        // Our texts are Chinese already; Qt's own are not.
        QTranslator* qt = NewTranslator(application);
        Install(qt, qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), qtFolder));
        return language;
    }
    // The locale's own translation where we have one, English otherwise; Qt's own
    // texts then in the same language, so no dialog mixes two.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString own = QString::fromLatin1(kOwnTranslations);
    QTranslator* ours = NewTranslator(application);
    bool loaded = ours->load(locale, QStringLiteral("murmel"), QStringLiteral("_"), own) ||
                  ours->load(english, QStringLiteral("murmel"), QStringLiteral("_"), own);
    // The language of the translation found ("de:en" may have found English).
    const QLocale shown =
        loaded && !ours->language().isEmpty() ? QLocale(ours->language()) : english;
    Install(ours, loaded);
    QTranslator* qt = NewTranslator(application);
    Install(qt, qt->load(shown, QStringLiteral("qtbase"), QStringLiteral("_"), qtFolder));
    return language;
}
