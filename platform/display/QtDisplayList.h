#pragma once

#include <string_view>

#include "platform/display/DisplayList.h"

namespace mavu::display {

// Qt's screen list. A screen's name is its connector ("eDP-1", "HDMI-A-1"); the id is a
// hash of that name, and a screen without a name has none. Needs a QGuiApplication; with
// none there are no displays.
class QtDisplayList final : public DisplayList {
  public:
    std::vector<ActiveDisplay> activeDisplays() const override;
};

// Laptop panels hang off embedded DisplayPort, LVDS or DSI connectors.
bool isBuiltInConnector(std::string_view connector);

}  // namespace mavu::display
