#include "SmtpTestServer.h"

#include "TestLoop.h"

#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quill::test {

namespace {

bool MakeCertificate(const QString& dir, QString& cert, QString& key)
{
    cert = dir + QStringLiteral("/cert.pem");
    key = dir + QStringLiteral("/key.pem");
    QProcess openssl;
    openssl.start(QStringLiteral(QUILL_TEST_OPENSSL),
        { "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
            "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out",
            cert });
    return openssl.waitForFinished(20000) && openssl.exitStatus() == QProcess::NormalExit
        && openssl.exitCode() == 0;
}

} // namespace

SmtpTestServer::SmtpTestServer(Options options)
{
    recordFile_ = dir_.filePath(QStringLiteral("record.jsonl"));
    releaseFile_ = dir_.filePath(QStringLiteral("release"));
    QStringList args { QStringLiteral(QUILL_SMTP_TEST_SERVER), "--record", recordFile_, "--user",
        options.User, "--password", options.Password };
    for (const QString& address : options.RefuseRecipients)
        args << "--refuse-recipient" << address;
    if (options.HoldData)
        args << "--hold-until" << releaseFile_;
    if (options.OfferStartTls) {
        QString key;
        if (!MakeCertificate(dir_.path(), certFile_, key)) {
            ADD_FAILURE() << "openssl could not make a test certificate";
            return;
        }
        args << "--cert" << certFile_ << "--key" << key;
    }
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(QUILL_TEST_PYTHON), args);
    if (!process_.waitForStarted(10000)) {
        ADD_FAILURE() << "the SMTP test server did not start";
        return;
    }
    QByteArray line;
    while (!line.contains('\n') && process_.waitForReadyRead(10000))
        line += process_.readAllStandardOutput();
    port_ = line.trimmed().toInt();
    if (port_ <= 0)
        ADD_FAILURE() << "the SMTP test server gave no port: " << line.toStdString();
}

SmtpTestServer::~SmtpTestServer()
{
    const qint64 pid = process_.processId();
    if (pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!process_.waitForFinished(5000)) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        process_.waitForFinished(2000);
    }
}

void SmtpTestServer::ReleaseData()
{
    QFile release(releaseFile_);
    EXPECT_TRUE(release.open(QIODevice::WriteOnly));
}

std::vector<QJsonObject> SmtpTestServer::Events(const QString& kind) const
{
    std::vector<QJsonObject> events;
    QFile file(recordFile_);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.endsWith('}'))
            continue; // nothing, or a line still being written
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (kind.isEmpty() || event.value(QStringLiteral("event")).toString() == kind)
            events.push_back(event);
    }
    return events;
}

bool SmtpTestServer::WaitForEvent(const QString& kind, int timeoutMs) const
{
    return WaitUntil([&] { return !Events(kind).empty(); }, std::chrono::milliseconds(timeoutMs));
}

int ClosedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

} // namespace quill::test
