#include "PictureFrame.h"

#include <QPainter>

namespace quill::tour::pictures {

namespace {

const QColor kDesktop(0x4a, 0x5a, 0x6a);
const QColor kFrame(0xc8, 0xcc, 0xd2);
const QColor kTitleBarColour(0x2f, 0x4a, 0x6d);
constexpr int kJpegQuality = 85;

QImage OnDesktop(const QImage& image, QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(kDesktop);
    QPainter painter(&picture);
    painter.drawImage(
        QPoint((size.width() - image.width()) / 2, (size.height() - image.height()) / 2), image);
    return picture;
}

bool Fits(QSize inner, QSize outer)
{
    return inner.width() <= outer.width() && inner.height() <= outer.height();
}

} // namespace

QImage Framed(const QImage& client, const QString& title)
{
    QImage window(client.size() + kFrameExtra, QImage::Format_RGB32);
    window.fill(kFrame);
    QPainter painter(&window);
    const QRect titleBar(kBorder, kBorder, client.width(), kTitleBar);
    painter.fillRect(titleBar, kTitleBarColour);

    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(titleBar.adjusted(8, 0, -kTitleBar - 4, 0), Qt::AlignVCenter | Qt::AlignLeft,
        painter.fontMetrics().elidedText(title, Qt::ElideRight, titleBar.width() - kTitleBar - 12));

    // The close box.
    const QRect close(titleBar.right() - kTitleBar + 4, titleBar.top() + 4, kTitleBar - 8, kTitleBar - 8);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(close.topLeft() + QPoint(4, 4), close.bottomRight() - QPoint(4, 4));
    painter.drawLine(close.topRight() + QPoint(-4, 4), close.bottomLeft() + QPoint(4, -4));

    painter.setPen(kFrame.darker(160));
    painter.drawRect(window.rect().adjusted(0, 0, -1, -1));
    painter.drawImage(kBorder, kBorder + kTitleBar, client);
    return window;
}

QImage Fit(const QImage& client, const QString& title, QSize size)
{
    const QImage framed = Framed(client, title);
    if (Fits(framed.size(), size))
        return OnDesktop(framed, size);
    if (Fits(client.size(), size))
        return OnDesktop(client, size);
    return OnDesktop(framed.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation), size);
}

bool SaveJpeg(const QImage& image, const QString& path)
{
    return image.save(path, "JPEG", kJpegQuality);
}

} // namespace quill::tour::pictures
