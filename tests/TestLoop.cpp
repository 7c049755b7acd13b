#include "TestLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <dirent.h>


namespace quill::test {

void EnsureApplication()
{
    // The test program's main() makes the application object.
    Q_ASSERT(QCoreApplication::instance());
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    EnsureApplication();
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

int OpenDescriptorCount()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

void DrainEvents()
{
    EnsureApplication();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
}

} // namespace quill::test
