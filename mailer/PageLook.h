// What the three wizard pages share: the sky-blue look and centring.
#pragma once

#include <QColor>

class QFont;
class QWidget;

namespace quill {

inline const QColor kPageColour { 0xA6, 0xCA, 0xF0 }; // sky blue
inline const QColor kTextColour { 0x00, 0x00, 0x80 }; // navy

// Sky-blue background and the pages' font on page.
void ApplyPageLook(QWidget& page);
// A label font of the given pixel size, bold.
QFont BoldFont(const QWidget& page, int pixelSize);
// Moves a top-level page to the middle of its screen.
void CentreOnScreen(QWidget& page);

} // namespace quill
