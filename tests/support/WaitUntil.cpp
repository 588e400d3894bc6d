#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
bool OnApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}
}  // namespace

bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs, int pollMs)
{
    const QDeadlineTimer deadline(std::max(timeoutMs, 0), Qt::PreciseTimer);
    const bool bEvents = OnApplicationThread();
    for (;;) {
        if (bEvents) {
            QCoreApplication::processEvents(QEventLoop::AllEvents,
                                            static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (predicate()) {
            return true;
        }
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(std::max(pollMs, 1), remaining)));
    }
}
