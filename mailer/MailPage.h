// The wizard's last page: the invitation as it will be sent, editable, with
// "Send Email". Controls only; the rules and the sending are the wizard's
// (MailWizard.h).
#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quill {

class TMailForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TMailForm2(QWidget* parent = nullptr);

    QFrame* Panel1; // the top strip with the boxes and buttons
    QLabel* SendTo; // "Send To :"
    QLabel* From; // "From"
    QLineEdit* ToEdit; // the recipients of this sending only
    QLineEdit* SenderEdit; // the sender's name, read-only
    QPushButton* BitBtn1; // Back
    QPushButton* Button1; // Send Email
    QPushButton* BitBtn2; // Cancel
    QPlainTextEdit* Msgmemo; // the body; the user may edit it before sending
};

} // namespace quill
