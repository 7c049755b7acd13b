// The pictures of programs that are not ours: the friend's mail reader with
// the invitation open, and a web browser at the ftp:// link, first asking for
// the user name and password, then showing the shared files. They are drawn,
// not captured; each returns the contents of the window at `size`.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace quill::tour::pictures {

struct Invitation {
    QString from; // as the reader shows the sender
    QString to;
    QString subject;
    QString date;
    QString body; // lines separated by "\n"
    QString link; // the ftp:// address in the body, shown as a link
};

QImage DrawMailReader(QSize size, const Invitation& mail);

// host: the server's address; link: the address typed in the browser.
QImage DrawBrowserLogOn(QSize size, const QString& host, const QString& link, const QString& user);

// entries: names of the shared folder's contents, folders ending with "/".
QImage DrawBrowserFiles(QSize size, const QString& host, const QString& link, const QStringList& entries);

} // namespace quill::tour::pictures
