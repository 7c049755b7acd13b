// The wizard's second page: the friend's address. Controls only; the rules
// are the wizard's (MailWizard.h).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quill {

class TMailWizAddressForm : public QDialog {
    Q_OBJECT
public:
    explicit TMailWizAddressForm(QWidget* parent = nullptr);

    QLabel* Label1; // the request for the address
    QLineEdit* AddressEdit; // the friend's address, or several separated by commas
    QPushButton* BitBtn1; // &Back
    QPushButton* BitBtn2; // NEXT
};

} // namespace quill
