// Keeps one console per user: the running console publishes a named local
// endpoint once its window carries its final title, and a starting console
// that can reach that endpoint knows another one runs.
#pragma once

#include <QString>

#include <memory>

class QLocalServer;

namespace quill {

class TSingleInstanceGuard {
public:
    // name: the endpoint (a full path on this system); empty turns the guard off.
    explicit TSingleInstanceGuard(QString name = QString());
    ~TSingleInstanceGuard();
    TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
    TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;

    const QString& Name() const { return name_; }
    void SetName(QString name) { name_ = std::move(name); }

    // True when another console has published the endpoint. The look-up
    // waits at most a second.
    bool AnotherIsRunning() const;
    // Publishes the endpoint for the rest of this run; an endpoint left by a
    // console that ended without closing it is taken over. False when it
    // cannot be published (the console then runs unguarded).
    bool Publish();
    bool Published() const;

private:
    QString name_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace quill
