#include "MailMessage.h"

#include "MailAddressList.h"

#include <QRegularExpression>

#include <algorithm>

namespace quill {

namespace {

constexpr qsizetype kMaxPlainPhrase = 200; // longer names are encoded, and so folded
constexpr qsizetype kMaxSmtpLine = 998; // RFC 5321 4.5.3.1.6, without CR LF
constexpr qsizetype kEncodedWordChars = 15; // at most 45 bytes of UTF-8: one 72-character encoded word
constexpr qsizetype kBase64LineChars = 76; // RFC 2045 6.8

const QByteArray kCrlf = QByteArrayLiteral("\r\n");

bool IsPrintableAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// Security: a header value must stay one header; a line end in a name or an
// address typed by the user would otherwise start a header (or the body) of its own.
QString OneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return line.trimmed();
}

// RFC 2047 encoded words, folded one per line.
QByteArray EncodedWords(const QString& text)
{
    QByteArrayList words;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = std::min(start + kEncodedWordChars, text.size());
        if (end < text.size() && text.at(end - 1).isHighSurrogate())
            --end; // keep a surrogate pair in one word
        words << "=?UTF-8?B?" + text.mid(start, end - start).toUtf8().toBase64() + "?=";
        start = end;
    }
    return words.join("\r\n ");
}

// An unstructured header text (RFC 5322 3.2.5), such as the subject.
QByteArray UnstructuredText(const QString& text)
{
    const QString line = OneLine(text);
    if (IsPrintableAscii(line) && line.size() <= kMaxPlainPhrase)
        return line.toLatin1();
    return EncodedWords(line);
}

// A display name (RFC 5322 3.2.5 phrase): a quoted string, or encoded words.
QByteArray Phrase(const QString& text)
{
    const QString line = OneLine(text);
    if (IsPrintableAscii(line) && line.size() <= kMaxPlainPhrase) {
        QString quoted = line;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('"'), QLatin1String("\\\""));
        return '"' + quoted.toLatin1() + '"';
    }
    return EncodedWords(line);
}

// One "Send To" entry for the To header: as typed when it is plain ASCII,
// else only its address.
QByteArray ToEntry(const QString& entry)
{
    const QString line = OneLine(entry);
    if (IsPrintableAscii(line) && line.size() <= kMaxPlainPhrase)
        return line.toLatin1();
    return '<' + OneLine(EnvelopeAddress(line)).toUtf8() + '>';
}

QByteArray Body(const QString& body, QByteArray& encoding, QByteArray& charset)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = body.split(lineEnd);
    bool plain = true;
    for (const QString& line : lines) {
        bool printable = line.size() <= kMaxSmtpLine;
        for (const QChar c : line)
            printable = printable && ((c.unicode() >= 0x20 && c.unicode() <= 0x7e) || c == QLatin1Char('\t'));
        plain = plain && printable;
    }
    QByteArray text = lines.join(QStringLiteral("\r\n")).toUtf8() + kCrlf;
    if (plain) {
        encoding = "7bit";
        charset = "us-ascii";
        return text;
    }
    encoding = "base64";
    charset = "UTF-8";
    const QByteArray base64 = text.toBase64();
    QByteArray wrapped;
    for (qsizetype i = 0; i < base64.size(); i += kBase64LineChars)
        wrapped += base64.mid(i, kBase64LineChars) + kCrlf;
    return wrapped;
}

} // namespace

QByteArray ComposeMailMessage(const TOutgoingMail& mail, const QDateTime& date, const QString& messageId)
{
    QByteArray encoding;
    QByteArray charset;
    const QByteArray body = Body(mail.Body, encoding, charset);
    const QByteArray from = OneLine(mail.From).toUtf8();

    QByteArrayList to;
    for (const QString& entry : mail.To)
        to << ToEntry(entry);

    QByteArray message;
    auto header = [&](const char* name, const QByteArray& value) {
        message += name + QByteArray(": ") + value + kCrlf;
    };
    header("Date", date.toString(Qt::RFC2822Date).toLatin1());
    header("From", from);
    if (!OneLine(mail.SenderName).isEmpty())
        header("Sender", Phrase(mail.SenderName) + " <" + from + '>');
    if (!to.isEmpty())
        header("To", to.join(",\r\n "));
    header("Subject", UnstructuredText(mail.Subject));
    header("Message-ID", '<' + OneLine(messageId).toUtf8() + '>');
    header("X-Mailer", UnstructuredText(mail.Mailer));
    header("MIME-Version", "1.0");
    header("Content-Type", "text/plain; charset=" + charset);
    header("Content-Transfer-Encoding", encoding);
    return message + kCrlf + body;
}

} // namespace quill
