#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "app/system/ExternalDisplay.h"
#include "platform/display/QtDisplayList.h"

namespace mavu::display {
namespace {

TEST(QtDisplayList, ListsTheScreensOfTheRunningApplication) {
    int argc = 1;
    char name[] = "display_backend_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    QtDisplayList list;
    const auto displays = list.activeDisplays();
    ASSERT_EQ(displays.size(), static_cast<std::size_t>(QGuiApplication::screens().size()));
    ASSERT_FALSE(displays.empty());
    for (int i = 0; i < QGuiApplication::screens().size(); ++i) {
        const QString screenName = QGuiApplication::screens()[i]->name();
        // The offscreen platform leaves its screen unnamed: such a screen has no id.
        EXPECT_EQ(displays[i].id.has_value(), !screenName.isEmpty());
        EXPECT_EQ(displays[i].builtIn, isBuiltInConnector(screenName.toStdString()));
    }
    // One offscreen screen: no external display, whatever it is called.
    EXPECT_FALSE(app::hasExternalDisplay(list));
}

}  // namespace
}  // namespace mavu::display
