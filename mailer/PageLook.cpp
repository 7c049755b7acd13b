#include "PageLook.h"

#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace quill {

void ApplyPageLook(QWidget& page)
{
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, kPageColour);
    page.setPalette(palette);
    page.setAutoFillBackground(true);
    QFont font = page.font();
    font.setFamilies({ QStringLiteral("MS Sans Serif"), font.family() });
    page.setFont(font);
}

QFont BoldFont(const QWidget& page, int pixelSize)
{
    QFont font = page.font();
    font.setBold(true);
    font.setPixelSize(pixelSize);
    return font;
}

void CentreOnScreen(QWidget& page)
{
    QScreen* screen = page.screen() ? page.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = page.frameGeometry();
    frame.moveCenter(area.center());
    page.move(frame.topLeft());
}

} // namespace quill
