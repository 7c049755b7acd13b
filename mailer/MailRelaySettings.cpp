#include "MailRelaySettings.h"

namespace quill {

namespace {

QString SecurityWord(TMailRelaySecurity security)
{
    switch (security) {
    case TMailRelaySecurity::StartTls:
        return QStringLiteral("starttls");
    case TMailRelaySecurity::ImplicitTls:
        return QStringLiteral("tls");
    case TMailRelaySecurity::Opportunistic:
        break;
    }
    return QStringLiteral("auto");
}

} // namespace

MailRelaySettings ReadMailRelaySettings(const TSettingsLookup& lookup)
{
    MailRelaySettings relay;
    if (!lookup)
        return relay;
    const QString section = QString::fromLatin1(kMailRelaySection);
    auto read
        = [&](const char* key, const QString& def) { return lookup(section, QString::fromLatin1(key), def); };

    relay.Host = read("Host", relay.Host).trimmed();
    if (relay.Host.isEmpty())
        relay.Host = MailRelaySettings {}.Host;

    bool ok = false;
    const int port = read("Port", QString::number(relay.Port)).trimmed().toInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        relay.Port = port;

    relay.User = read("User", relay.User);
    relay.Password = read("Password", relay.Password);

    const QString from = read("From", relay.From).trimmed();
    if (!from.isEmpty())
        relay.From = from;

    const QString security = read("Security", SecurityWord(relay.Security)).trimmed().toLower();
    if (security == QLatin1String("auto"))
        relay.Security = TMailRelaySecurity::Opportunistic;
    else if (security == QLatin1String("starttls"))
        relay.Security = TMailRelaySecurity::StartTls;
    else if (security == QLatin1String("tls"))
        relay.Security = TMailRelaySecurity::ImplicitTls;

    relay.CaFile = read("CaFile", relay.CaFile).trimmed();
    return relay;
}

} // namespace quill
