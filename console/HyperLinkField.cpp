#include "HyperLinkField.h"

#include "ConsoleDesktop.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace quill {

THyperLinkField::THyperLinkField(TConsoleDesktop& desktop, const QString& address, QWidget* parent)
    : QLineEdit(address, parent)
    , desktop_(desktop)
{
    setReadOnly(true);
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setToolTip(address);
}

void THyperLinkField::Open()
{
    const QString address = text().trimmed();
    if (address.isEmpty())
        return;
    // The text carries no scheme; a bare host name is a web address.
    desktop_.OpenUrl(QUrl::fromUserInput(address));
}

void THyperLinkField::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Open();
}

void THyperLinkField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Open();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace quill
