#include "MailMessageBoxes.h"

#include <QMessageBox>

namespace quill {

void TDesktopMailMessageBoxes::Information(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QStringLiteral("Information"), text, QMessageBox::Ok);
}

void TDesktopMailMessageBoxes::Error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QStringLiteral("Error"), text, QMessageBox::Ok);
}

} // namespace quill
