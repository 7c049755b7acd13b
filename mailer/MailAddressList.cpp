#include "MailAddressList.h"

namespace quill {

QStringList SplitAddressList(const QString& text)
{
    QStringList entries;
    QString current;
    bool quoted = false;
    auto finish = [&] {
        const QString entry = current.trimmed();
        if (!entry.isEmpty())
            entries << entry;
        current.clear();
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(',') && !quoted)
            finish();
        else
            current += c;
    }
    finish();
    return entries;
}

QString EnvelopeAddress(const QString& entry)
{
    const qsizetype open = entry.lastIndexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = entry.indexOf(QLatin1Char('>'), open + 1);
        if (close > open)
            return entry.mid(open + 1, close - open - 1).trimmed();
    }
    return entry.trimmed();
}

bool IsSafeEnvelopeAddress(const QString& address)
{
    if (address.isEmpty())
        return false;
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u == 0x7f || u == '<' || u == '>' || (u >= 0x80 && u <= 0x9f) || c.isSpace())
            return false;
    }
    return true;
}

} // namespace quill
