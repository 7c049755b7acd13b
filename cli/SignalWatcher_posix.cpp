// POSIX signals through a self-pipe.
#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quill::cli {

namespace {
    int pipeFds[2] = { -1, -1 };

    void OnSignal(int signal)
    {
        const unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &byte, 1);
    }
}

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent)
    , onSignal_(std::move(onSignal))
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        if (::read(pipeFds[0], &byte, 1) == 1 && onSignal_)
            onSignal_(byte);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    notifier_.reset();
    for (int& fd : pipeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace quill::cli
