// Turns SIGINT and SIGTERM into a call on the event loop's thread.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace quill::cli {

class SignalWatcher : public QObject {
public:
    // `onSignal` runs from the event loop, never inside the signal handler.
    explicit SignalWatcher(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~SignalWatcher() override;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quill::cli
