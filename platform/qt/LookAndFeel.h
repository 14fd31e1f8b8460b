#pragma once
class QApplication;

// The look of both programs: Fusion with the desktop's own palette (a dark one
// included) and a font whose families hold the Chinese texts.
void ApplyLookAndFeel(QApplication& application);
