#pragma once
class QApplication;

// The look both of our windows share: Fusion with the desktop's palette (dark
// schemes included) and a font that has the Chinese characters.
void ApplyLookAndFeel(QApplication& application);
