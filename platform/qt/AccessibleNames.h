#pragma once
#include <QString>

// Screen readers on Linux hear a combo box by its value ("需要", "28"): Qt names it
// by its text there and leaves the label to a relation that not every reader
// follows. Once installed (any number of calls), every combo box is named by its
// accessible name or, failing that, by the label whose buddy it is; its value
// stays its value.
void InstallAccessibleNames();

// A caption as a screen reader should say it: "&Z认证" is "认证", "打开(&O)" is
// "打开(O)" as Qt says it, "&&" one "&"; surrounding blanks dropped.
QString AccessibleLabelText(QString caption);
