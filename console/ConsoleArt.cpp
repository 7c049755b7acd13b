#include "ConsoleArt.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace quill::art {

QPixmap Lamp(const QColor& colour)
{
    QPixmap pixmap(9, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient light(0, 0, 9, 15);
    light.setColorAt(0, colour.lighter(160));
    light.setColorAt(1, colour.darker(130));
    p.setPen(QPen(colour.darker(200), 1));
    p.setBrush(light);
    p.drawRoundedRect(QRectF(0.5, 0.5, 8, 14), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QRectF(2, 2, 3, 4));
    return pixmap;
}

namespace {

QPixmap IconPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // The folder.
    p.setPen(QPen(QColor(120, 80, 0), 1));
    p.setBrush(QColor(240, 190, 60));
    p.drawRoundedRect(QRectF(2, 9, 28, 19), 2, 2);
    p.setBrush(QColor(250, 215, 100));
    QPainterPath flap;
    flap.moveTo(2, 13);
    flap.lineTo(12, 13);
    flap.lineTo(14, 10);
    flap.lineTo(30, 10);
    flap.lineTo(30, 28);
    flap.lineTo(2, 28);
    flap.closeSubpath();
    p.drawPath(flap);
    // The quill across it.
    QPainterPath quill;
    quill.moveTo(9, 26);
    quill.cubicTo(14, 14, 22, 6, 30, 2);
    quill.cubicTo(26, 10, 20, 18, 11, 25);
    quill.closeSubpath();
    p.setPen(QPen(Navy, 1));
    p.setBrush(Qt::white);
    p.drawPath(quill);
    p.drawLine(QPointF(9, 26), QPointF(6, 30));
    return pixmap;
}

} // namespace

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64 })
        icon.addPixmap(IconPicture(size));
    return icon;
}

void Paint(QWidget& widget, const QColor& background)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, background);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void SetTextColour(QWidget& widget, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget.setPalette(palette);
}

void CentreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace quill::art
