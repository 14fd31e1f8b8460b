#pragma once
#include <QLocale>
#include <QString>
#include <string>
class QCoreApplication;

// The windows are written in Chinese; every other language comes from a translation
// built into the program. A Chinese locale keeps the written texts, any other gets
// its own translation where there is one and English otherwise. Qt's own dialogs
// and buttons follow in the same language.
enum class InterfaceLanguage { Chinese, English };

// The locale a setting names ("en", "zh_CN", "de"...), or the desktop's when the
// setting is empty: the user may choose a language other than the desktop's.
QLocale InterfaceLocale(const std::string& setting);

// The language for a locale: its first user-interface language decides (LANGUAGE,
// then LC_ALL, LC_MESSAGES, LANG, as the desktop sets them).
InterfaceLanguage LanguageFor(const QLocale& locale);

// Installs the translators for `locale` on the application, replacing any this
// function installed before. Returns the language chosen.
InterfaceLanguage LoadTranslations(QCoreApplication& application,
                                   const QLocale& locale = QLocale::system());
