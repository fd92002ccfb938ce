#include "platform/dispatch/qt/QtMainQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "tests/support/MainQueueScenario.h"

namespace mavu::dispatch {
namespace {

TEST(QtMainQueue, ServesWorkTimersAndDescriptorsOnTheEventLoop) {
    int argc = 1;
    char name[] = "qt-main-queue-test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtDispatch d;
    // Bounds a broken queue; the test normally ends in a few tens of milliseconds.
    QTimer::singleShot(1500, &app, [&] { app.quit(); });
    testing::expectServesWorkTimersAndDescriptors(
        d.mainQueue(), [&] { app.exec(); }, [&] { app.quit(); });
    EXPECT_TRUE(d.mainQueue().isCurrent());
}

}  // namespace
}  // namespace mavu::dispatch
