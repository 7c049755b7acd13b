#include "AddressPage.h"

#include "PageLook.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace quill {

TMailWizAddressForm::TMailWizAddressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("MailWizAddressForm"));
    setWindowTitle(QStringLiteral("Email Address"));
    setFixedSize(292, 172);
    ApplyPageLook(*this);

    // --- Widgets
    Label1 = new QLabel(QStringLiteral("Please enter the email address of your friend"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 20, 238, 32);
    Label1->setFont(BoldFont(*this, 13));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    QPalette navy = Label1->palette();
    navy.setColor(QPalette::WindowText, kTextColour);
    navy.setColor(QPalette::Text, kTextColour);
    Label1->setPalette(navy);

    AddressEdit = new QLineEdit(this);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    AddressEdit->setGeometry(40, 72, 213, AddressEdit->sizeHint().height());

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload), QStringLiteral("&Back"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(40, 120, 100, 25);
    BitBtn1->setAutoDefault(false);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("NEXT"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(156, 120, 100, 25);
    BitBtn2->setDefault(true);

    setTabOrder(AddressEdit, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
}

} // namespace quill
