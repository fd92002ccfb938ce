#include <gtest/gtest.h>

#include <vector>

#include "app/system/ExternalDisplay.h"
#include "platform/display/QtDisplayList.h"

namespace mavu::app {
namespace {

using display::ActiveDisplay;

bool detect(std::vector<ActiveDisplay> displays) {
    struct Settable final : display::DisplayList {
        std::vector<ActiveDisplay> displays;
        std::vector<ActiveDisplay> activeDisplays() const override { return displays; }
    } list;
    list.displays = std::move(displays);
    return hasExternalDisplay(list);
}

TEST(HasExternalDisplay, NeedsASecondDisplayThatIsNotTheLaptopsOwn) {
    const ActiveDisplay laptop{1, true}, monitor{2, false}, other{3, false};
    const ActiveDisplay unnamed{std::nullopt, false};
    EXPECT_FALSE(detect({laptop}));
    EXPECT_TRUE(detect({laptop, monitor}));
    EXPECT_FALSE(detect({monitor}));  // lid closed: the one monitor is the only screen
    EXPECT_TRUE(detect({monitor, other}));
    EXPECT_FALSE(detect({laptop, unnamed}));
    EXPECT_TRUE(detect({unnamed, laptop, monitor}));
}

TEST(HasExternalDisplay, LaptopPanelsAreTheEmbeddedConnectors) {
    for (const char* panel : {"eDP-1", "LVDS1", "lvds-2", "DSI-1"}) {
        EXPECT_TRUE(display::isBuiltInConnector(panel)) << panel;
    }
    for (const char* external : {"HDMI-A-1", "DP-2", "VGA-1", ""}) {
        EXPECT_FALSE(display::isBuiltInConnector(external)) << external;
    }
}

}  // namespace
}  // namespace mavu::app
