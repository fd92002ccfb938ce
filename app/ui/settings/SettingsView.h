#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "app/system/Observable.h"
#include "app/ui/style/Palette.h"

class QBoxLayout;
class QLabel;

namespace mavu::app {
class AppModel;
}
namespace mavu::shortcut {
class ShortcutRecorder;
}

namespace mavu::ui {

class AppearanceTile;
class SheetAlert;
class TextButton;
class ToggleSwitch;

// What the About block says about the daemon: "Helper: v<version> (<build>)", or "Helper:
// version unknown" when its version could not be read; outdated when its build is not the
// app's, or unknown. No line while neither is known (the first query has not answered).
struct DaemonLine {
    std::string text;
    bool outdated = false;
    bool operator==(const DaemonLine&) const = default;
};
std::optional<DaemonLine> daemonLine(const std::optional<std::string>& version,
                                     const std::optional<std::string>& build, bool unknown,
                                     const std::string& appBuild);

// The sheet's column of rows at its full 318 × 740, in one scheme. Every control calls the
// model; every value shown follows the model's published fields.
class SettingsView : public QWidget {
  public:
    SettingsView(app::AppModel& model, ColorScheme scheme, QWidget* parent = nullptr);
    ~SettingsView() override;

  protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* makeHeader();
    QWidget* makeAppearanceRow();
    QWidget* makeSwitchRow(const QString& title, ToggleSwitch*& toggle);
    QWidget* makeShortcutRow();
    QWidget* makeAboutBlock();
    QWidget* makeFooter();
    void makeAlerts();
    void makeHiddenKeys();
    void subscribe();
    void showDaemonLine();

    app::AppModel& model_;
    ColorScheme scheme_;
    std::string appBuild_;

    std::vector<AppearanceTile*> tiles_;
    ToggleSwitch* launchAtLogin_ = nullptr;
    ToggleSwitch* autoCheck_ = nullptr;
    shortcut::ShortcutRecorder* recorder_ = nullptr;
    QWidget* daemonRow_ = nullptr;
    QBoxLayout* daemonLayout_ = nullptr;
    QLabel* daemonText_ = nullptr;
    TextButton* updateHelper_ = nullptr;
    SheetAlert* uninstallConfirm_ = nullptr;
    SheetAlert* uninstallDone_ = nullptr;

    std::vector<app::Subscription> subscriptions_;
};

}  // namespace mavu::ui
