#include "SingleInstanceGuard.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace quill {

namespace {
constexpr int LookupTimeoutMs = 1000;
}

TSingleInstanceGuard::TSingleInstanceGuard(QString name)
    : name_(std::move(name))
{
}

TSingleInstanceGuard::~TSingleInstanceGuard() = default;

bool TSingleInstanceGuard::AnotherIsRunning() const
{
    if (name_.isEmpty())
        return false;
    // Our own endpoint does not count.
    if (Published())
        return false;
    QLocalSocket probe;
    probe.connectToServer(name_);
    const bool found = probe.waitForConnected(LookupTimeoutMs);
    probe.abort();
    return found;
}

bool TSingleInstanceGuard::Publish()
{
    if (name_.isEmpty() || Published())
        return Published();
    auto server = std::make_unique<QLocalServer>();
    // Security: only this user may connect.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name_)) {
        // A name left behind by a console that crashed: nobody answers on
        // it, so it may be taken over.
        if (AnotherIsRunning())
            return false;
        QLocalServer::removeServer(name_);
        if (!server->listen(name_))
            return false;
    }
    // Callers only look; each connection is dropped as it comes.
    QObject::connect(server.get(), &QLocalServer::newConnection, server.get(), [s = server.get()] {
        while (QLocalSocket* c = s->nextPendingConnection()) {
            c->abort();
            c->deleteLater();
        }
    });
    server_ = std::move(server);
    return true;
}

bool TSingleInstanceGuard::Published() const
{
    return server_ && server_->isListening();
}

} // namespace quill
