// A real SMTP relay for the mailer's tests: smtp_test_server.py (aiosmtpd)
// run as a child process on 127.0.0.1 with a port of the system's choice,
// stopped by its PID. Every wait is bounded.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

namespace quill::test {

class SmtpTestServer {
public:
    struct Options {
        QString User = QStringLiteral("Quillshare");
        QString Password = QStringLiteral("quill");
        QStringList RefuseRecipients; // answered 550
        bool HoldData = false; // DATA waits for ReleaseData() (30 s at most)
        bool OfferStartTls = false; // with a fresh self-signed certificate for 127.0.0.1
    };

    explicit SmtpTestServer(Options options);
    SmtpTestServer()
        : SmtpTestServer(Options {})
    {
    }
    ~SmtpTestServer(); // SIGTERM to the PID, then SIGKILL if it lingers
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    // The certificate to trust when OfferStartTls is set.
    QString CertificateFile() const { return certFile_; }
    // Lets a held DATA finish.
    void ReleaseData();

    // Everything recorded so far, in order; Events("mail") only those of one kind.
    std::vector<QJsonObject> Events(const QString& kind = {}) const;
    // Waits (bounded, running the event loop) until an event of the kind is recorded.
    bool WaitForEvent(const QString& kind, int timeoutMs = 10000) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString recordFile_;
    QString releaseFile_;
    QString certFile_;
    int port_ = 0;
};

// A loopback port on which nothing listens (bound and released at once).
int ClosedLoopbackPort();

} // namespace quill::test
