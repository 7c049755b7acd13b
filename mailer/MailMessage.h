// The invitation as it goes over the wire: an RFC 5322 message of plain text.
// Pure: no sockets, no widgets.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quill {

struct TOutgoingMail {
    QString From; // the fixed sender address (From header and envelope sender)
    QString SenderName; // the person sending, named in the Sender header; empty: no Sender header
    QStringList To; // the entries of "Send To" as typed (see SplitAddressList)
    QString Subject;
    QString Mailer; // X-Mailer
    QString Body; // lines ended by LF, CR LF or CR
};

// The whole message, every line ended by CR LF. Header texts that are not
// plain ASCII are written as RFC 2047 encoded words; a body that is not plain
// ASCII, or has a line too long for SMTP, goes as base64 of its UTF-8.
// date and messageId (without angle brackets) are passed in so a test can fix them.
QByteArray ComposeMailMessage(const TOutgoingMail& mail, const QDateTime& date, const QString& messageId);

} // namespace quill
