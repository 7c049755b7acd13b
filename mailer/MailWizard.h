// The link invitation wizard: owns its three pages, applies the rules of what
// each button stores and reloads, composes the invitation and sends it. The
// console makes one at start-up, keeps it for the whole run, and calls Start
// from its "Email Link" button and menu item (after refreshing its link).
//
//            Start           NEXT             NEXT
//   closed ------> sender -------> address -------> mail
//      ^             |  ^   Back     |  ^    Back     |
//      |   Cancel, X |  +------------+  +-------------+
//      +-------------+-------- X ----+                |
//      +--------------------- Cancel, X, sent --------+
//
// Every step shows the next page first and then hides the current one; a
// hidden page keeps its controls' contents.
#pragma once

#include "AddressPage.h"
#include "MailMemory.h"
#include "MailMessageBoxes.h"
#include "MailPage.h"
#include "MailRelaySettings.h"
#include "SenderPage.h"
#include "SmtpSender.h"

#include <QObject>

#include <functional>
#include <memory>

namespace quill {

class TMailWizard : public QObject {
public:
    // memory holds MailFrom and MailAddress and must outlive the wizard. link
    // and password give the live values each time the mail page is shown.
    // boxes answers the message boxes; nullptr means the desktop's.
    TMailWizard(TMailMemory& memory, std::function<QString()> link, std::function<QString()> password,
        MailRelaySettings relay, std::unique_ptr<TMailMessageBoxes> boxes = nullptr);
    // A send under way is abandoned (see TSmtpSender).
    ~TMailWizard() override;
    TMailWizard(const TMailWizard&) = delete;
    TMailWizard& operator=(const TMailWizard&) = delete;

    // Shows the sender page with MailFrom in its box, centred on the screen.
    // Any other page of the wizard is hidden, so one page shows at a time.
    void Start();

    // True while a mail is on its way to the relay.
    bool Sending() const { return sender_.Busy(); }

    TMailWizSenderForm& SenderPage() { return senderPage_; }
    TMailWizAddressForm& AddressPage() { return addressPage_; }
    TMailForm2& MailPage() { return mailPage_; }

private:
    // --- Sender page
    void SenderNextClick();
    void SenderCancelClick();
    // --- Address page
    void AddressNextClick();
    void AddressBackClick();
    // --- Mail page
    void ShowMailPage(); // reloads both boxes and rebuilds the body, then shows
    void CreateMessage();
    void SendClick();
    void SendFinished(const TSmtpResult& result, int shownAt);
    void MailBackClick();
    void MailCancelClick();

    // Shows next centred, then hides current.
    static void Step(QWidget& current, QWidget& next);

    TMailMemory& memory_;
    std::function<QString()> link_;
    std::function<QString()> password_;
    std::unique_ptr<TMailMessageBoxes> boxes_;

    TMailWizSenderForm senderPage_;
    TMailWizAddressForm addressPage_;
    TMailForm2 mailPage_;
    int mailPageShows_ = 0; // tells a send's page apart from a later showing of the mail page

    TSmtpSender sender_; // last: destroyed first, so no result arrives for gone pages
};

} // namespace quill
