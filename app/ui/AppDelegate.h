#pragma once

#include <QMenu>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

#include "app/model/AppModel.h"
#include "app/ui/Popover.h"
#include "app/ui/QtAlertPresenter.h"
#include "app/ui/style/Appearance.h"
#include "platform/appearance/SystemAppearance.h"

class QSystemTrayIcon;

namespace mavu::ui {

struct AppDelegateParts {
    // Creates the model with the interface's alert presenter (runs its start-up sequence).
    std::function<std::shared_ptr<app::AppModel>(std::shared_ptr<alert::AlertPresenter>)> makeModel;
    std::unique_ptr<appearance::SystemAppearance> appearance;
    // Lets the process end after a platform quit; QCoreApplication::exit in the app.
    std::function<void()> endProcess;
};

// The tray application's delegate: owns the model, the status item (an eye that follows
// isArmed), its menu, the popover, and the rule for quits MAVU did not start itself.
class AppDelegate {
  public:
    // Creates the model; nothing is shown until applicationDidFinishLaunching().
    explicit AppDelegate(AppDelegateParts parts);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // In order: popover, update notice, status item, notifications, and a readiness check
    // of the daemon on the main queue that nobody waits for.
    void applicationDidFinishLaunching();

    // A quit from outside (signal, session end): at once while unarmed; while armed only
    // after forceSafeOff() has returned (at most the client's 3 s). Later requests while one
    // waits change nothing.
    void applicationShouldTerminate();

    enum class Click { left, right };
    void statusItemClicked(Click click);
    void showPopover();
    // "Settings…" (Ctrl+,): the popover, then the settings sheet.
    void showSettings();
    void showContextMenu();
    void openFromMenu();
    void toggleFromMenu();
    void checkForUpdatesFromMenu();
    void quitFromMenu();

    app::AppModel& model() { return *model_; }
    Popover& popover() { return *popover_; }
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    // The menu on screen, if any.
    QMenu* menu() const { return menu_; }
    const DesktopScheme& desktopScheme() const { return desktop_; }

  private:
    void setupPopover();
    void setupStatusItem();
    void updateStatusItem(std::optional<bool> armed = std::nullopt);
    void popoverDidClose();
    QRect statusItemGeometry() const;

    std::shared_ptr<QtAlertPresenter> alerts_ = std::make_shared<QtAlertPresenter>();
    std::shared_ptr<app::AppModel> model_;
    DesktopScheme desktop_;
    std::function<void()> endProcess_;
    std::unique_ptr<Popover> popover_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    QPointer<QMenu> menu_;
    bool terminating_ = false;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace mavu::ui
