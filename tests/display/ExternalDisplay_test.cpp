#include <gtest/gtest.h>

#include <vector>

#include "app/system/ExternalDisplay.h"
#include "platform/display/QtDisplayList.h"

namespace mavu::app {
namespace {

using display::ActiveDisplay;

// A second display that is not the laptop's own; with the lid closed the one monitor is the
// only screen.
TEST(HasExternalDisplay, NeedsASecondDisplayThatIsNotTheLaptopsOwn) {
    struct List final : display::DisplayList {
        std::vector<ActiveDisplay> displays;
        std::vector<ActiveDisplay> activeDisplays() const override { return displays; }
    } list;
    const ActiveDisplay laptop{1, true}, monitor{2, false}, other{3, false}, unnamed{{}, false};
    const std::pair<std::vector<ActiveDisplay>, bool> cases[] = {
        {{laptop}, false},        {{laptop, monitor}, true},  {{monitor}, false},
        {{monitor, other}, true}, {{laptop, unnamed}, false}, {{unnamed, laptop, monitor}, true},
    };
    for (const auto& [displays, external] : cases) {
        list.displays = displays;
        EXPECT_EQ(hasExternalDisplay(list), external) << displays.size();
    }
    for (const char* panel : {"eDP-1", "LVDS1", "lvds-2", "DSI-1"}) {
        EXPECT_TRUE(display::isBuiltInConnector(panel)) << panel;
    }
    for (const char* external : {"HDMI-A-1", "DP-2", "VGA-1", ""}) {
        EXPECT_FALSE(display::isBuiltInConnector(external)) << external;
    }
}

}  // namespace
}  // namespace mavu::app
