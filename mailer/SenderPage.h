// The wizard's first page: who is sending. Controls only; the rules are the
// wizard's (MailWizard.h).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quill {

class TMailWizSenderForm : public QDialog {
    Q_OBJECT
public:
    explicit TMailWizSenderForm(QWidget* parent = nullptr);

    QLabel* Label1; // the request for the sender's name
    QLineEdit* SenderEdit; // the sender's name
    QPushButton* BitBtn2; // Cancel
    QPushButton* BitBtn1; // NEXT
};

} // namespace quill
