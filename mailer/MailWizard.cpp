#include "MailWizard.h"

#include "MailAddressList.h"
#include "MailMessage.h"
#include "MailTexts.h"
#include "PageLook.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUuid>

#include <algorithm>

namespace quill {

namespace {

// A Message-ID in the domain of the fixed sender address.
QString NewMessageId(const QString& from)
{
    const qsizetype at = from.lastIndexOf(QLatin1Char('@'));
    const QString domain
        = at >= 0 && at + 1 < from.size() ? from.mid(at + 1) : QStringLiteral("quillshare.invalid");
    return QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('@') + domain;
}

} // namespace

TMailWizard::TMailWizard(TMailMemory& memory, std::function<QString()> link,
    std::function<QString()> password, MailRelaySettings relay, std::unique_ptr<TMailMessageBoxes> boxes)
    : memory_(memory)
    , link_(std::move(link))
    , password_(std::move(password))
    , boxes_(boxes ? std::move(boxes) : std::make_unique<TDesktopMailMessageBoxes>())
    , sender_(std::move(relay))
{
    // --- Connections
    connect(senderPage_.BitBtn1, &QPushButton::clicked, this, [this] { SenderNextClick(); });
    connect(senderPage_.BitBtn2, &QPushButton::clicked, this, [this] { SenderCancelClick(); });
    connect(addressPage_.BitBtn2, &QPushButton::clicked, this, [this] { AddressNextClick(); });
    connect(addressPage_.BitBtn1, &QPushButton::clicked, this, [this] { AddressBackClick(); });
    connect(mailPage_.Button1, &QPushButton::clicked, this, [this] { SendClick(); });
    connect(mailPage_.BitBtn1, &QPushButton::clicked, this, [this] { MailBackClick(); });
    connect(mailPage_.BitBtn2, &QPushButton::clicked, this, [this] { MailCancelClick(); });
}

TMailWizard::~TMailWizard() = default;

void TMailWizard::Start()
{
    addressPage_.hide();
    mailPage_.hide();
    senderPage_.SenderEdit->setText(memory_.MailFrom);
    senderPage_.show();
    CentreOnScreen(senderPage_);
    senderPage_.activateWindow();
    senderPage_.SenderEdit->setFocus();
}

void TMailWizard::Step(QWidget& current, QWidget& next)
{
    next.show();
    CentreOnScreen(next);
    next.activateWindow();
    current.hide();
}

// --- Sender page

void TMailWizard::SenderNextClick()
{
    memory_.MailFrom = senderPage_.SenderEdit->text();
    addressPage_.AddressEdit->setText(memory_.MailAddress);
    Step(senderPage_, addressPage_);
    addressPage_.AddressEdit->setFocus();
}

void TMailWizard::SenderCancelClick()
{
    senderPage_.hide();
}

// --- Address page

void TMailWizard::AddressNextClick()
{
    memory_.MailAddress = addressPage_.AddressEdit->text();
    ShowMailPage();
    addressPage_.hide();
}

void TMailWizard::AddressBackClick()
{
    // The edited address is not stored, and the sender box keeps what it held.
    Step(addressPage_, senderPage_);
    senderPage_.SenderEdit->setFocus();
}

// --- Mail page

void TMailWizard::ShowMailPage()
{
    ++mailPageShows_;
    mailPage_.ToEdit->setText(memory_.MailAddress);
    mailPage_.SenderEdit->setText(memory_.MailFrom);
    CreateMessage();
    mailPage_.Button1->setEnabled(!sender_.Busy());
    mailPage_.show();
    CentreOnScreen(mailPage_);
    mailPage_.activateWindow();
}

void TMailWizard::CreateMessage()
{
    const QString link = link_ ? link_() : QString();
    const QString password = password_ ? password_() : QString();
    mailPage_.Msgmemo->setPlainText(ComposeInvitationBody(mailPage_.SenderEdit->text(), link, password));
}

void TMailWizard::SendClick()
{
    if (sender_.Busy())
        return;
    const QStringList entries = SplitAddressList(mailPage_.ToEdit->text());
    QStringList recipients;
    for (const QString& entry : entries)
        recipients << EnvelopeAddress(entry);
    const bool usable = !recipients.isEmpty()
        && std::all_of(recipients.cbegin(), recipients.cend(),
            [](const QString& a) { return IsSafeEnvelopeAddress(a); });
    if (!usable) {
        // Nothing the relay could deliver: the same answer as a refused address.
        boxes_->Error(&mailPage_, QString::fromLatin1(kMailErrorText));
        return;
    }

    TOutgoingMail mail;
    mail.From = sender_.Relay().From;
    mail.SenderName = mailPage_.SenderEdit->text();
    mail.To = entries;
    mail.Subject = QString::fromLatin1(kMailSubject);
    mail.Mailer = QString::fromLatin1(kMailAgent);
    mail.Body = mailPage_.Msgmemo->toPlainText();
    const QByteArray message
        = ComposeMailMessage(mail, QDateTime::currentDateTime(), NewMessageId(mail.From));

    const int shownAt = mailPageShows_;
    mailPage_.Button1->setEnabled(false);
    mailPage_.setCursor(Qt::BusyCursor);
    sender_.Send(
        recipients, message, [this, shownAt](const TSmtpResult& result) { SendFinished(result, shownAt); });
}

void TMailWizard::SendFinished(const TSmtpResult& result, int shownAt)
{
    mailPage_.unsetCursor();
    mailPage_.Button1->setEnabled(true);
    if (!result.Ok) {
        // The page stays open with its contents, to correct and send again.
        boxes_->Error(&mailPage_, QString::fromLatin1(kMailErrorText));
        return;
    }
    boxes_->Information(&mailPage_, QString::fromLatin1(kMailSentText));
    // A mail page shown again since the send began holds a new invitation: leave it open.
    if (shownAt == mailPageShows_)
        mailPage_.hide();
}

void TMailWizard::MailBackClick()
{
    // The address box keeps what it last held.
    Step(mailPage_, addressPage_);
    addressPage_.AddressEdit->setFocus();
}

void TMailWizard::MailCancelClick()
{
    mailPage_.hide();
}

} // namespace quill
