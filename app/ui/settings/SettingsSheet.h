#pragma once

#include <QWidget>
#include <memory>

#include "app/ui/style/Palette.h"

namespace mavu::app {
class AppModel;
}

namespace mavu::ui {

inline constexpr double kSettingsSheetWidth = 318;
inline constexpr double kSettingsSheetHeight = 740;
// Rounded as the popup window holding it cuts its corners (the main panel's 24 on its
// 600-point canvas, at the sheet's width); outside the corners the sheet is transparent.
inline constexpr double kSettingsSheetCornerRadius = 24.0 * kSettingsSheetWidth / 600.0;

// The settings sheet for model, drawn in scheme, laid out on 318 × 740 and scaled by scale
// (≤ 1; the presenter passes less where the screen is shorter) into a widget of that size
// × scale. The caller owns it and replaces it when the effective scheme changes. The sheet
// keeps no state of its own: it shows the model's fields as they change and calls the
// model's operations; closing itself means setting the model's showSettings to false.
//
// Its controls run model operations from inside their click handlers, and some of those
// (setAppearance, checkForUpdates, setShowSettings(false)) make the presenter drop the
// sheet: drop it with deleteLater(), never by deleting it at once.
std::unique_ptr<QWidget> makeSettingsSheet(app::AppModel& model, ColorScheme scheme, double scale);

}  // namespace mavu::ui
