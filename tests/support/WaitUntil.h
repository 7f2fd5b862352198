#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace qelvo::test {

// Runs the event loop until `done` or until `maxMs` passed.  True when done.  The limit is
// only a guard against a hang, never a measured expectation.
inline bool waitUntil(const std::function<bool()>& done, int maxMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > maxMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace qelvo::test
