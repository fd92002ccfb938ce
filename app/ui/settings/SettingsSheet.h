#pragma once

#include <QWidget>
#include <memory>

#include "app/model/AppModel.h"
#include "app/ui/style/Palette.h"

namespace mavu::ui {

inline constexpr double kSettingsSheetWidth = 318;
inline constexpr double kSettingsSheetHeight = 740;

// The settings sheet for model, drawn in scheme, laid out on 318 × 740 and scaled by scale
// (at most 1) into a widget of that size × scale. The popover owns it, shows it while
// showSettings is true and builds a new one whenever the effective scheme changes.
std::unique_ptr<QWidget> makeSettingsSheet(app::AppModel& model, ColorScheme scheme, double scale);

}  // namespace mavu::ui
