#include "app/model/LinuxAppModel.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include "platform/dispatch/qt/QtMainQueue.h"
#include "tests/client/PrivateBus.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogCapture.h"

namespace mavu::app {
namespace {

// The model on every real backend, on a desktop with no daemon, no systemd, no
// notification server and no X server: it starts, stores settings where the user's config
// lives, and every failure ends as a sentence or a log line.
TEST(LinuxAppModelBackend, StartsAndFailsGentlyWithNothingToTalkTo) {
    testing::PrivateBus bus;
    testing::TempDir home;
    setenv("XDG_CONFIG_HOME", home.path("config").c_str(), 1);
    unsetenv("DISPLAY");
    testing::LogCapture log;
    int argc = 1;
    char name[] = "mavu-model-test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    dispatch::QtDispatch dispatch;

    auto model = makeLinuxAppModel(dispatch, std::make_shared<testing::RecordingAlerts>());
    model->selectDuration(DurationOption::four);
    EXPECT_NE(home.read("config/norvel/MAVU.conf").find("duration=4H"), std::string::npos);

    bool toggled = false;
    model->toggle([&] { toggled = true; });
    model->handleHelperMessage("MAVU restored normal sleep \u2014 battery dropped to 5%.");
    const auto notificationLost = [&] {
        for (const auto& line : log.lines()) {
            if (line.rfind("MAVU notification not shown: ", 0) == 0) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(testing::eventually([&] {
        QCoreApplication::processEvents();
        return toggled && notificationLost();
    }));
    EXPECT_FALSE(model->isArmed().get());
    EXPECT_TRUE(model->showSetupAlert().get());
    EXPECT_FALSE(model->setupMessage().get().empty());
}

}  // namespace
}  // namespace mavu::app
