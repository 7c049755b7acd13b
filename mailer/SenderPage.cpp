#include "SenderPage.h"

#include "PageLook.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace quill {

TMailWizSenderForm::TMailWizSenderForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("MailWizSenderForm"));
    setWindowTitle(QStringLiteral("Sender"));
    setFixedSize(292, 172);
    ApplyPageLook(*this);

    // --- Widgets
    Label1 = new QLabel(
        QStringLiteral(
            "Please enter your name so that your friend knows who is sending them this Quillshare Link."),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 12, 258, 48);
    Label1->setFont(BoldFont(*this, 13));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    QPalette navy = Label1->palette();
    navy.setColor(QPalette::WindowText, kTextColour);
    navy.setColor(QPalette::Text, kTextColour);
    Label1->setPalette(navy);

    SenderEdit = new QLineEdit(this);
    SenderEdit->setObjectName(QStringLiteral("SenderEdit"));
    SenderEdit->setGeometry(40, 80, 213, SenderEdit->sizeHint().height());
    SenderEdit->setPalette(navy);

    BitBtn2 = new QPushButton(
        style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(44, 116, 100, 25);
    BitBtn2->setAutoDefault(false);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("NEXT"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(160, 116, 100, 25);
    BitBtn1->setDefault(true); // Enter in the name box goes on

    setTabOrder(SenderEdit, BitBtn2);
    setTabOrder(BitBtn2, BitBtn1);
}

} // namespace quill
