// Reading the "Send To" box: a comma-separated list of addresses, each either
// a bare address or a display name with the address in angle brackets.
#pragma once

#include <QString>
#include <QStringList>

namespace quill {

// The entries of the list, trimmed. Commas separate except between double
// quotes (a display name such as "Smith, Ann" <ann@x>); empty entries are
// skipped. An unclosed quote runs to the end of the text.
QStringList SplitAddressList(const QString& text);

// The address an entry names for the envelope: the text between the last
// '<' and the '>' after it when the entry has them, else the whole entry.
QString EnvelopeAddress(const QString& entry);

// Security: an address is written into an SMTP command line, so it must not
// carry line ends or other control characters that would start a command of
// its own, nor spaces or angle brackets that would end the address early.
bool IsSafeEnvelopeAddress(const QString& address);

} // namespace quill
