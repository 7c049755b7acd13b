// The console's look: its colours, the pictures it draws itself (the two
// status lamps and the program's icon) and small helpers for its windows.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

class QWidget;

namespace quill::art {

inline const QColor SkyBlue(166, 202, 240);
inline const QColor Blue(0, 0, 255);
inline const QColor Navy(0, 0, 128);
inline const QColor StoppedRed(255, 0, 0);
inline const QColor RunningGreen(0, 128, 0);

// A lamp of 9 x 15 pixels: a rounded light of the colour with a highlight.
QPixmap Lamp(const QColor& colour);
// The program's icon: an open folder with a quill, at any size.
QIcon ProgramIcon();

// Fills the widget's background with the colour (its children inherit it
// unless they paint their own).
void Paint(QWidget& widget, const QColor& background);
// Sets the widget's text colour.
void SetTextColour(QWidget& widget, const QColor& colour);
// Moves a top-level window to the middle of its screen.
void CentreOnScreen(QWidget& window);

} // namespace quill::art
