// Where the link mailer sends through: the relay, its account and the fixed
// sender address. Our own relay is built in; a [mailrelay] section of the
// settings file overrides any of it, so a user can send through their own.
#pragma once

#include <QString>

#include <functional>

namespace quill {

// How the connection to the relay is protected.
enum class TMailRelaySecurity {
    Opportunistic, // STARTTLS when the relay offers it, plain otherwise
    StartTls, // STARTTLS or no sending at all
    ImplicitTls, // TLS from the first byte (the "smtps" port, usually 465)
};

struct MailRelaySettings {
    QString Host = QStringLiteral("mail.quillshare.example");
    int Port = 25;
    QString User = QStringLiteral("Quillshare"); // empty: the relay takes mail without a login
    QString Password = QStringLiteral("quill");
    QString From = QStringLiteral("link@quillshare.example"); // envelope sender and From header
    TMailRelaySecurity Security = TMailRelaySecurity::Opportunistic;
    QString CaFile; // an extra trusted certificate file (PEM) for a relay with a private certificate
};

// Reads a settings value: (section, key, default) -> the stored text or the default.
using TSettingsLookup = std::function<QString(QString section, QString key, QString def)>;

// The settings section read by ReadMailRelaySettings.
inline constexpr const char* kMailRelaySection = "mailrelay";

// The built-in relay with the keys Host, Port, User, Password, From, Security
// ("auto", "starttls" or "tls") and CaFile of section "mailrelay" laid over it.
// A port that is no number from 1 to 65535, or an unknown Security word, keeps
// the built-in value.
MailRelaySettings ReadMailRelaySettings(const TSettingsLookup& lookup);

} // namespace quill
