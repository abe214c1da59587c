// Runs a test program under a QCoreApplication and drives its loop until a condition holds.
#pragma once

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace quenda::test {

// Creates the one QCoreApplication of the test program and runs every test.
inline int RunTestsWithCoreApplication(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Runs the Qt loop (dispatching everything, messages included) until done() is true or
// timeoutMs pass; returns done()'s last answer.
inline bool RunLoopUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;  // the loop must wake now and then to look at the condition
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the Qt loop for about ms milliseconds, for checks that something does not happen.
inline void RunLoopFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    RunLoopUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

}  // namespace quenda::test
