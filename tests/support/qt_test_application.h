// Shared by the platform test binaries: the one Qt application object, and waiting for the event loop.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tovra::testing_support {

// Registered once per binary with ::testing::AddGlobalTestEnvironment.
template <class App>
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tovra-platform-test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<App>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<App> app_;
};

// Runs the event loop until done() holds or timeoutMs passes; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace tovra::testing_support
