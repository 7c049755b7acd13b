// The mailer's pure parts: the "Send To" list, the invitation body, the
// message on the wire and the relay settings.
#include "MailAddressList.h"
#include "MailMessage.h"
#include "MailRelaySettings.h"
#include "MailTexts.h"

#include <QMap>

#include <gtest/gtest.h>

namespace quill {
namespace {

TEST(MailAddressList, SplitsAtCommasOutsideQuotes)
{
    const struct {
        const char* name;
        QString text;
        QStringList entries;
    } cases[] = {
        { "two addresses", "a@x, b@y", { "a@x", "b@y" } },
        { "comma in a quoted name", "\"Smith, Ann\" <ann@x>,bob@y", { "\"Smith, Ann\" <ann@x>", "bob@y" } },
        { "empty entries skipped", " , a@x,, ,b@y, ", { "a@x", "b@y" } },
        { "nothing", "   ", {} },
        { "unclosed quote runs to the end", "\"Ann, a@x", { "\"Ann, a@x" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitAddressList(c.text), c.entries);
    }
}

TEST(MailAddressList, EnvelopeAddressAndItsSafety)
{
    EXPECT_EQ(EnvelopeAddress("\"Smith, Ann\" <ann@x>"), "ann@x");
    EXPECT_EQ(EnvelopeAddress("Ann < ann@x >"), "ann@x");
    EXPECT_EQ(EnvelopeAddress("bob@y"), "bob@y");
    EXPECT_EQ(EnvelopeAddress("Bob <bob@y"), "Bob <bob@y"); // no closing bracket: kept, and refused below

    const struct {
        QString address;
        bool safe;
    } cases[] = {
        { "ann@x", true },
        { "ann+tag@sub.example.org", true },
        { QString::fromUtf8("jörg@example.de"), true },
        { "", false },
        { "ann@x\r\nRCPT TO:<eve@y>", false },
        { "ann@x>  SIZE=1", false },
        { "Bob <bob@y", false },
        { "ann @x", false },
        { QString("ann@x") + QChar(0x85), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        EXPECT_EQ(IsSafeEnvelopeAddress(c.address), c.safe);
    }
}

TEST(InvitationBody, ThirteenLinesWithLinkAndQuotedPassword)
{
    const QStringList lines = ComposeInvitationBody("Ann", "ftp://192.0.2.7", "pa ss\"x").split('\n');
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[0], "Ann has requested that we forward the following link to you");
    EXPECT_EQ(lines[2], "ftp://192.0.2.7 may be accessed with the password \"pa ss\"x\"");
    EXPECT_EQ(lines[4], "This link will allow you to view and copy files that Ann has shared for you.");
    EXPECT_EQ(lines[6],
        "If you can click on the link your browser should open and will ask for the above password.");
    EXPECT_EQ(lines[8],
        "If you can not click on the link copy and paste it into your browser or type it in manually.");
    EXPECT_EQ(lines[10],
        "If you cannot connect then Ann may no longer be online or may have changed the password.");
    EXPECT_EQ(lines[12],
        QString("To get your own Quillshare Server or for additional support visit ")
            + kQuillshareWebAddress);
    for (int i : { 1, 3, 5, 7, 9, 11 })
        EXPECT_TRUE(lines[i].isEmpty()) << "line " << i + 1;
}

// The message split into its header fields (unfolded) and its body.
struct ParsedMessage {
    QMap<QString, QString> headers;
    QStringList order;
    QByteArray body;
    bool crlfOnly = true;
    int longestLine = 0;
};

ParsedMessage Parse(const QByteArray& message)
{
    ParsedMessage parsed;
    const qsizetype end = message.indexOf("\r\n\r\n");
    parsed.body = message.mid(end + 4);
    for (const QByteArray& line : message.split('\n')) {
        parsed.longestLine = std::max(parsed.longestLine, int(line.size()));
        if (!line.isEmpty() && !line.endsWith('\r'))
            parsed.crlfOnly = false;
    }
    QString last;
    for (const QByteArray& raw : message.left(end).split('\n')) {
        const QString line = QString::fromUtf8(raw).chopped(raw.endsWith('\r') ? 1 : 0);
        if (line.startsWith(' ')) {
            parsed.headers[last] += line;
            continue;
        }
        last = line.section(':', 0, 0);
        parsed.order << last;
        parsed.headers[last] = line.section(':', 1).trimmed();
    }
    return parsed;
}

TOutgoingMail Invitation()
{
    TOutgoingMail mail;
    mail.From = "link@quillshare.example";
    mail.SenderName = "Ann";
    mail.To = { "a@x", "\"Smith, Bob\" <b@y>" };
    mail.Subject = kMailSubject;
    mail.Mailer = kMailAgent;
    mail.Body = ComposeInvitationBody("Ann", "ftp://192.0.2.7", "secret");
    return mail;
}

const QDateTime kDate = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);

TEST(MailMessage, PlainInvitation)
{
    const ParsedMessage m = Parse(ComposeMailMessage(Invitation(), kDate, "id1@quillshare.example"));
    EXPECT_TRUE(m.crlfOnly);
    EXPECT_EQ(m.headers["From"], "link@quillshare.example");
    EXPECT_EQ(m.headers["Sender"], "\"Ann\" <link@quillshare.example>");
    EXPECT_EQ(m.headers["To"], "a@x, \"Smith, Bob\" <b@y>");
    EXPECT_EQ(m.headers["Subject"], "Quillshare Link");
    EXPECT_EQ(m.headers["X-Mailer"], "Quillshare");
    EXPECT_EQ(m.headers["Message-ID"], "<id1@quillshare.example>");
    EXPECT_EQ(m.headers["Date"], "14 Nov 2023 22:13:20 +0000");
    EXPECT_EQ(m.headers["Content-Transfer-Encoding"], "7bit");
    EXPECT_EQ(m.body,
        ComposeInvitationBody("Ann", "ftp://192.0.2.7", "secret").replace('\n', "\r\n").toUtf8() + "\r\n");
}

TEST(MailMessage, TypedTextCannotAddHeadersOrEndThem)
{
    TOutgoingMail mail = Invitation();
    mail.SenderName = "Eve\r\nBcc: spy@z";
    mail.To = { "a@x\nBcc: spy2@z" };
    mail.Body = "line one\rline two\n\nBcc: not a header";
    const ParsedMessage m = Parse(ComposeMailMessage(mail, kDate, "id2@x"));
    EXPECT_TRUE(m.crlfOnly);
    EXPECT_FALSE(m.order.contains("Bcc"));
    EXPECT_EQ(m.headers["Sender"], "\"Eve  Bcc: spy@z\" <link@quillshare.example>");
    EXPECT_EQ(m.body, "line one\r\nline two\r\n\r\nBcc: not a header\r\n");

    mail.SenderName = "  ";
    EXPECT_FALSE(Parse(ComposeMailMessage(mail, kDate, "id3@x")).order.contains("Sender"));
    mail.SenderName = "Ann \"The Quill\" \\o/";
    EXPECT_EQ(Parse(ComposeMailMessage(mail, kDate, "id4@x")).headers["Sender"],
        "\"Ann \\\"The Quill\\\" \\\\o/\" <link@quillshare.example>");
}

// Decodes a header of RFC 2047 "B" words in UTF-8, the only kind we write.
QString DecodeWords(const QString& header)
{
    QString text;
    for (const QString& word : header.split(' ', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(word.startsWith("=?UTF-8?B?") && word.endsWith("?=")) << word.toStdString();
        EXPECT_LE(word.size(), 75);
        text += QString::fromUtf8(QByteArray::fromBase64(word.mid(10, word.size() - 12).toLatin1()));
    }
    return text;
}

TEST(MailMessage, TextBeyondPlainAsciiIsEncoded)
{
    TOutgoingMail mail = Invitation();
    const QString name = QString::fromUtf8("Zoë 😀 Ångström-Öztürk, and a long tail of more name words");
    mail.SenderName = name;
    mail.To = { QString::fromUtf8("Jörg <joerg@x>"), "b@y" };
    mail.Body = ComposeInvitationBody(name, "ftp://192.0.2.7", QString::fromUtf8("pässword"));
    const QByteArray message = ComposeMailMessage(mail, kDate, "id5@x");
    const ParsedMessage m = Parse(message);

    EXPECT_TRUE(m.crlfOnly);
    EXPECT_LE(m.longestLine, 78);
    const QString sender = m.headers["Sender"];
    ASSERT_TRUE(sender.endsWith(" <link@quillshare.example>"));
    EXPECT_EQ(DecodeWords(sender.chopped(QString(" <link@quillshare.example>").size())), name);
    EXPECT_EQ(m.headers["To"], "<joerg@x>, b@y");
    EXPECT_EQ(m.headers["Content-Type"], "text/plain; charset=UTF-8");
    EXPECT_EQ(m.headers["Content-Transfer-Encoding"], "base64");
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(m.body)), mail.Body.replace('\n', "\r\n") + "\r\n");

    mail.SenderName = "Ann";
    mail.Body = QString(1500, 'x'); // too long for one SMTP line
    const ParsedMessage longBody = Parse(ComposeMailMessage(mail, kDate, "id6@x"));
    EXPECT_EQ(longBody.headers["Content-Transfer-Encoding"], "base64");
    EXPECT_LE(longBody.longestLine, 78);
}

TEST(MailRelaySettings, BuiltInValuesAndTheirOverrides)
{
    const MailRelaySettings builtIn;
    EXPECT_EQ(builtIn.Port, 25);
    EXPECT_EQ(builtIn.User, "Quillshare");
    EXPECT_EQ(builtIn.Security, TMailRelaySecurity::Opportunistic);

    const struct {
        const char* name;
        QMap<QString, QString> stored; // keys of section "mailrelay"
        QString host;
        int port;
        QString user;
        QString from;
        TMailRelaySecurity security;
    } cases[] = {
        { "nothing stored", {}, builtIn.Host, 25, "Quillshare", builtIn.From,
            TMailRelaySecurity::Opportunistic },
        { "own relay",
            { { "Host", " smtp.example.net " }, { "Port", "587" }, { "User", "me" }, { "Password", "pw" },
                { "From", "me@example.net" }, { "Security", "STARTTLS" } },
            "smtp.example.net", 587, "me", "me@example.net", TMailRelaySecurity::StartTls },
        { "implicit TLS and no login", { { "Port", "465" }, { "Security", "tls" }, { "User", "" } },
            builtIn.Host, 465, "", builtIn.From, TMailRelaySecurity::ImplicitTls },
        { "port not a number", { { "Port", "smtp" } }, builtIn.Host, 25, "Quillshare", builtIn.From,
            TMailRelaySecurity::Opportunistic },
        { "port out of range", { { "Port", "70000" }, { "Security", "sometimes" } }, builtIn.Host, 25,
            "Quillshare", builtIn.From, TMailRelaySecurity::Opportunistic },
        { "blank host and sender keep ours", { { "Host", " " }, { "From", "" }, { "Port", "0" } },
            builtIn.Host, 25, "Quillshare", builtIn.From, TMailRelaySecurity::Opportunistic },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList sections;
        const MailRelaySettings relay = ReadMailRelaySettings([&](QString section, QString key, QString def) {
            sections << section;
            return c.stored.value(key, def);
        });
        EXPECT_EQ(relay.Host, c.host);
        EXPECT_EQ(relay.Port, c.port);
        EXPECT_EQ(relay.User, c.user);
        EXPECT_EQ(relay.From, c.from);
        EXPECT_EQ(relay.Security, c.security);
        EXPECT_EQ(sections.removeDuplicates(), sections.size() - 1);
        EXPECT_EQ(sections, QStringList { "mailrelay" });
    }
    EXPECT_EQ(ReadMailRelaySettings(nullptr).Host, builtIn.Host);
}

} // namespace
} // namespace quill
