#include "peers/WaitUntil.h"

#include "peers/TestApp.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace vireo::test {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    EnsureTestApp();
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the loop even when no event is due, so the deadline and outside state are seen.
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

} // namespace vireo::test
