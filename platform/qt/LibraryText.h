#pragma once
#include <QString>
#include <string>

// The libraries below the windows speak in fixed texts: captions and messages in
// Chinese, as the windows are written, and error messages in English, as the
// command line shows them. A window shows each in the interface's language,
// looked up by what the text says; a text not known here is shown as it is.
QString LibraryText(const QString& text);
QString LibraryText(const std::string& utf8);
QString LibraryText(const char* utf8);

// Values a field shows and stores: the placeholders among them ("没有设置", the
// entries of a box) are shown translated and stored as written; any other value
// is the user's own and stays as it is both ways.
QString ShownValue(const std::string& stored);
std::string StoredValue(const QString& shown);
