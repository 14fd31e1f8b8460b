#pragma once
#include <QLocale>
#include <QString>
class QCoreApplication;

// The windows are written in Chinese; every other language comes from a translation
// built into the program. A Chinese locale keeps the written texts, any other gets
// its own translation where there is one and English otherwise. Qt's own dialogs
// and buttons follow in the same language.
enum class InterfaceLanguage { Chinese, English };

// The language for a locale: its first user-interface language decides (LANGUAGE,
// then LC_ALL, LC_MESSAGES, LANG, as the desktop sets them).
InterfaceLanguage LanguageFor(const QLocale& locale);

// Installs the translators for `locale` on the application, replacing any this
// function installed before. Returns the language chosen.
InterfaceLanguage LoadTranslations(QCoreApplication& application,
                                   const QLocale& locale = QLocale::system());
