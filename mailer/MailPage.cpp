#include "MailPage.h"

#include "PageLook.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quill {

TMailForm2::TMailForm2(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("MailForm2"));
    setWindowTitle(QStringLiteral("Quillshare LInk"));
    resize(400, 400);
    ApplyPageLook(*this);

    // --- Widgets: the top panel, laid out as drawn
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setFixedHeight(105);

    SendTo = new QLabel(QStringLiteral("Send To :"), Panel1);
    SendTo->setObjectName(QStringLiteral("SendTo"));
    SendTo->setFont(BoldFont(*this, 13));
    SendTo->move(24, 8);

    From = new QLabel(QStringLiteral("From"), Panel1);
    From->setObjectName(QStringLiteral("From"));
    From->setFont(BoldFont(*this, 13));
    From->move(172, 8);

    ToEdit = new QLineEdit(Panel1);
    ToEdit->setObjectName(QStringLiteral("ToEdit"));
    ToEdit->setGeometry(20, 28, 121, ToEdit->sizeHint().height());

    SenderEdit = new QLineEdit(Panel1);
    SenderEdit->setObjectName(QStringLiteral("SenderEdit"));
    SenderEdit->setGeometry(168, 28, 121, SenderEdit->sizeHint().height());
    SenderEdit->setReadOnly(true);

    BitBtn1
        = new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload), QStringLiteral("Back"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(36, 68, 75, 25);

    Button1 = new QPushButton(QStringLiteral("Send Email"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(160, 68, 75, 25);

    BitBtn2 = new QPushButton(
        style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(276, 68, 75, 25);

    // --- Widgets: the body fills the rest of the window
    Msgmemo = new QPlainTextEdit(this);
    Msgmemo->setObjectName(QStringLiteral("Msgmemo"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Msgmemo, 1);
}

} // namespace quill
