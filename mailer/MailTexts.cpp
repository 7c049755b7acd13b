#include "MailTexts.h"

#include <QStringList>

namespace quill {

QString ComposeInvitationBody(const QString& sender, const QString& link, const QString& password)
{
    const QStringList sentences {
        sender + QStringLiteral(" has requested that we forward the following link to you"),
        link + QStringLiteral(" may be accessed with the password ") + QLatin1Char('"') + password
            + QLatin1Char('"'),
        QStringLiteral("This link will allow you to view and copy files that ") + sender
            + QStringLiteral(" has shared for you."),
        QStringLiteral(
            "If you can click on the link your browser should open and will ask for the above password."),
        QStringLiteral(
            "If you can not click on the link copy and paste it into your browser or type it in manually."),
        QStringLiteral("If you cannot connect then ") + sender
            + QStringLiteral(" may no longer be online or may have changed the password."),
    };
    QStringList lines;
    for (const QString& sentence : sentences)
        lines << sentence << QString();
    lines << QStringLiteral("To get your own Quillshare Server or for additional support visit ")
            + QString::fromLatin1(kQuillshareWebAddress);
    return lines.join(QLatin1Char('\n'));
}

} // namespace quill
