// The link mailer's two remembered texts. They live for the whole run of the
// program; the console loads them from its settings file and saves them at close.
#pragma once

#include <QString>

namespace quill {

struct TMailMemory {
    QString MailFrom;    // the sender's name as last entered
    QString MailAddress; // the friend's address(es) as last entered
};

} // namespace quill
