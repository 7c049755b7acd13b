// Turning a window's contents into one of the tutorial's pictures: a plain
// frame with a title bar around it, placed on a patch of desktop, written as
// JPEG.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace quill::tour::pictures {

// What the frame adds to a window's contents: a border all round and a title bar.
inline constexpr int kBorder = 3;
inline constexpr int kTitleBar = 26;
inline constexpr QSize kFrameExtra(2 * kBorder, 2 * kBorder + kTitleBar);

// The size of the contents whose framed window is exactly `picture` big.
inline QSize ClientSizeFor(QSize picture)
{
    return picture - kFrameExtra;
}

// The contents inside a frame whose title bar reads `title`.
QImage Framed(const QImage& client, const QString& title);

// A picture exactly `size` big: the framed window when it fits, else the bare
// contents when they fit, else the framed window scaled down; what is left
// over is desktop.
QImage Fit(const QImage& client, const QString& title, QSize size);

// Writes a JPEG of modest size; false on failure.
bool SaveJpeg(const QImage& image, const QString& path);

} // namespace quill::tour::pictures
