#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/model/AppearancePreference.h"
#include "app/model/DurationOption.h"
#include "app/ui/style/Canvas.h"
#include "app/ui/style/Palette.h"

namespace mavu::ui {

// Everything the main panel shows: a pure function of these values.
struct MainPanelState {
    bool isArmed = false;
    app::DurationOption duration = app::DurationOption::infinite;
    bool launchAtLoginEnabled = false;
    ColorScheme scheme = ColorScheme::light;
    bool showSetupAlert = false;
    std::string setupMessage;
    bool helperNeedsApproval = false;
    bool operator==(const MainPanelState&) const = default;
};

// What the panel's controls call; none of them waits.
struct MainPanelActions {
    std::function<void()> toggle;
    std::function<void(app::DurationOption)> selectDuration;
    std::function<void()> toggleLaunchAtLogin;
    std::function<void(app::AppearancePreference)> setAppearance;
    std::function<void()> showSettings;
    std::function<void()> quit;
    // The setup alert's buttons: "Open Login Items" (then the alert closes) and "OK".
    std::function<void()> openLoginItems;
    std::function<void()> dismissSetupAlert;
};

// The popover's content: laid out on a 600 × 740 canvas, scaled by 0.68 into 408 × 503.
// The setup alert is drawn over the panel while it is shown, and takes every click.
class MainPanelView final : public CanvasView {
  public:
    static constexpr QSizeF kCanvasSize{600, 740};
    static constexpr double kScale = 0.68;

    // Names of the controls (control(name) gives each one's frame).
    static inline const QString kMainButton = QStringLiteral("main");
    static inline const QString kGear = QStringLiteral("gear");
    static inline const QString kLaunchAtLogin = QStringLiteral("launchAtLogin");
    static inline const QString kAppearance = QStringLiteral("appearance");
    static inline const QString kSettings = QStringLiteral("settings");
    static inline const QString kQuit = QStringLiteral("quit");
    static inline const QString kOpenLoginItems = QStringLiteral("alert.openLoginItems");
    static inline const QString kAlertOk = QStringLiteral("alert.ok");
    static QString durationControl(app::DurationOption option);

    explicit MainPanelView(MainPanelActions actions, QWidget* parent = nullptr);

    void setState(const MainPanelState& state);
    const MainPanelState& state() const { return state_; }

    // What is shown for the state, as the panel draws it.
    static QString characterImage(bool armed, ColorScheme scheme);
    static QString logoImage(ColorScheme scheme);
    static QString title(bool armed);
    static QString subtitle(bool armed);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void rebuild();
    void paintPanel(QPainter& painter) const;
    void paintAlert(QPainter& painter) const;

    MainPanelActions actions_;
    MainPanelState state_;
};

}  // namespace mavu::ui
