#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/AppearancePreference.h"
#include "app/model/DurationOption.h"
#include "app/model/SparkleRelaunchCoordinator.h"
#include "app/shortcut/GlobalShortcutManager.h"
#include "app/shortcut/KeyCombo.h"
#include "app/system/LaunchAtLoginManager.h"
#include "app/system/Observable.h"
#include "app/system/PrivilegedHelperClient.h"
#include "platform/alert/AlertPresenter.h"
#include "platform/bundle/BundleInfo.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/display/DisplayList.h"
#include "platform/ipc/HelperConnection.h"
#include "platform/notify/Notifier.h"
#include "platform/process/ProcessExit.h"
#include "platform/services/ServiceManagement.h"
#include "platform/settings/SettingsStore.h"
#include "platform/updater/Updater.h"

namespace mavu::app {

// Settings keys of the app (the shortcut's two are in app/shortcut/StoredShortcut.h).
inline constexpr char kDurationKey[] = "duration";
inline constexpr char kAppearanceKey[] = "appearance";
inline constexpr char kLastSeenBuildKey[] = "lastSeenBuild";

// What the model works with. Everything is shared with the model for its whole life,
// except mainQueue and shortcuts, which must outlive it.
struct AppModelPorts {
    dispatch::MainQueue& mainQueue;
    std::shared_ptr<services::ServiceManagement> services;
    std::shared_ptr<ipc::HelperConnector> helperConnector;
    std::shared_ptr<display::DisplayList> displays;
    // The process-wide hot-key manager (GlobalShortcutManager::shared() in the app).
    shortcut::GlobalShortcutManager& shortcuts;
    std::shared_ptr<settings::SettingsStore> settings;
    std::shared_ptr<notify::Notifier> notifier;
    std::shared_ptr<alert::AlertPresenter> alerts;
    std::shared_ptr<process::ProcessExit> processExit;
    std::shared_ptr<bundle::BundleInfo> bundle;
    // Creates the updater controller with the model's delegate; called once, at start-up.
    updater::MakeUpdaterController makeUpdaterController;
};

// The app's one model and controller: the user's settings, the keep-awake session with
// the daemon, the daemon's maintenance and the updater coupling. The interface reads the
// published fields (an observer sees every assignment, on the main queue) and calls the
// operations; it owns nothing of the model's.
//
// Main queue only. Operations that wait for the daemon return at once and finish later on
// the main queue; their optional completion runs when the flow has ended. Everything the
// model hands to longer-lived objects (timer, hot key, updater, client completions) holds
// it weakly.
class AppModel : public std::enable_shared_from_this<AppModel> {
  public:
    using Done = std::function<void()>;

    // Heartbeat period: well inside the daemon's 90-second watchdog.
    static constexpr double kHeartbeatIntervalSeconds = 25.0;

    // Runs the start-up sequence: settings from the store, the updater, the heartbeat
    // timer, the hot key, and a forceSafeOff to the daemon so every launch starts unarmed.
    static std::shared_ptr<AppModel> create(AppModelPorts ports);
    ~AppModel();
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // Published fields, in declaration order.
    const Observable<bool>& isArmed() const { return isArmed_; }
    const Observable<DurationOption>& duration() const { return duration_; }
    const Observable<AppearancePreference>& appearance() const { return appearance_; }
    const Observable<shortcut::KeyCombo>& shortcut() const { return shortcut_; }
    const Observable<bool>& showSettings() const { return showSettings_; }
    const Observable<std::string>& statusText() const { return statusText_; }
    const Observable<bool>& showSetupAlert() const { return showSetupAlert_; }
    const Observable<bool>& launchAtLoginEnabled() const { return launchAtLoginEnabled_; }
    const Observable<bool>& launchAtLoginNeedsApproval() const {
        return launchAtLoginNeedsApproval_;
    }
    const Observable<std::string>& setupMessage() const { return setupMessage_; }
    const Observable<bool>& autoCheckForUpdates() const { return autoCheckForUpdates_; }
    const Observable<bool>& showUninstallConfirm() const { return showUninstallConfirm_; }
    const Observable<bool>& showUninstallDone() const { return showUninstallDone_; }
    const Observable<std::optional<std::string>>& helperVersion() const { return helperVersion_; }
    const Observable<std::optional<std::string>>& helperBuild() const { return helperBuild_; }
    const Observable<bool>& helperVersionUnknown() const { return helperVersionUnknown_; }
    const Observable<bool>& isRestartingHelper() const { return isRestartingHelper_; }

    // The daemon client (the setup alert reads helper().helperNeedsApproval()), the login
    // manager, the updater and its delegate.
    PrivilegedHelperClient& helper() { return *helper_; }
    LaunchAtLoginManager& login() { return *login_; }
    updater::UpdaterController& updaterController() { return *updaterController_; }
    SparkleRelaunchCoordinator& sparkleRelaunchCoordinator() { return *coordinator_; }
    // The app's own Info values (the settings panel shows its version and build).
    const bundle::BundleInfo& bundle() const { return *ports_.bundle; }

    // The flags the interface writes back when the user closes what they present. Setting
    // showSettings from false to true starts refreshHelperVersion().
    void setShowSettings(bool shown);
    void setShowSetupAlert(bool shown);
    void setShowUninstallConfirm(bool shown);
    void setShowUninstallDone(bool shown);

    // Settings.
    // Stores the choice; while armed, also re-arms with it (no disarm first).
    void selectDuration(DurationOption option);
    void setAppearance(AppearancePreference preference);
    // Registers combo as the hot key and stores it; a combination another application
    // holds keeps the old one and shows "This shortcut is already used by another app.
    // Please choose a different combination."
    void updateShortcut(shortcut::KeyCombo combo);
    // The reset button: updateShortcut(defaultCombo).
    void resetShortcut() { updateShortcut(shortcut::defaultCombo); }
    void toggleLaunchAtLogin();
    // Clears showSettings and ends every sheet the interface shows (through the callback
    // given to setEndSheets). Before an update check or install, and when the popup closes.
    void dismissPanels();
    // The interface's way of ending every sheet (alert or dialog attached to its windows).
    void setEndSheets(std::function<void()> endSheets);
    // "Open Login Items" in the setup alert.
    void openSystemSettingsLoginItems();

    // Updates.
    void toggleAutoCheckForUpdates();
    // Read each time the tray menu is built.
    bool canCheckForUpdates();
    // dismissPanels(), then the updater's user-initiated check.
    void checkForUpdates();
    // Once during launch: shows "MAVU Updated" (through the alert port, returning when the
    // user dismissed it) when the build differs from the last launch's; stores the build.
    bool showUpdateNoticeIfNeeded();

    // The session.
    // Arms when unarmed, disarms when armed. Callers do not wait; two quick presses send
    // two arms, as each press reads isArmed when it starts.
    void toggle(Done done = {});
    void rearm(DurationOption option, Done done = {});
    // Shows a daemon message as status and as a notification titled "MAVU".
    void handleHelperMessage(const std::string& message);
    // (Re)creates the 25-second heartbeat timer; the start-up sequence calls it.
    void startHeartbeat();
    void sendHeartbeat();
    // Returns the daemon to its safe state (bounded by the client's 3-second time-out),
    // then ends the process with status 0.
    void quit(Done done = {});

    // Maintenance.
    void refreshHelperVersion(Done done = {});
    // done gets true when the daemon was restarted; false at once while a restart runs.
    void updateHelper(std::function<void(bool)> done = {});
    void uninstall(Done done = {});

  private:
    explicit AppModel(AppModelPorts ports);
    void start();
    void loadSettings();
    shortcut::GlobalShortcutManager::Action toggleAction();
    bool hasExternalDisplayNow() const;
    void showAlert(const std::string& message);
    void showAlert(const std::optional<std::string>& clientError, const char* fallback);
    void armed(const PrivilegedHelperClient::ArmResult& result);
    // After an arm that did not come back ok the daemon may still apply it late; one
    // disarm, not awaited, keeps it in the state the user is shown.
    void disarmAfterUnansweredArm();

    AppModelPorts ports_;

    Observable<bool> isArmed_{false};
    Observable<DurationOption> duration_{DurationOption::infinite};
    Observable<AppearancePreference> appearance_{AppearancePreference::system};
    Observable<shortcut::KeyCombo> shortcut_{shortcut::defaultCombo};
    Observable<bool> showSettings_{false};
    Observable<std::string> statusText_;
    Observable<bool> showSetupAlert_{false};
    Observable<bool> launchAtLoginEnabled_{false};
    Observable<bool> launchAtLoginNeedsApproval_{false};
    Observable<std::string> setupMessage_;
    Observable<bool> autoCheckForUpdates_{false};
    Observable<bool> showUninstallConfirm_{false};
    Observable<bool> showUninstallDone_{false};
    Observable<std::optional<std::string>> helperVersion_{std::nullopt};
    Observable<std::optional<std::string>> helperBuild_{std::nullopt};
    Observable<bool> helperVersionUnknown_{false};
    Observable<bool> isRestartingHelper_{false};

    std::shared_ptr<PrivilegedHelperClient> helper_;
    std::unique_ptr<LaunchAtLoginManager> login_;
    std::shared_ptr<SparkleRelaunchCoordinator> coordinator_;
    std::unique_ptr<updater::UpdaterController> updaterController_;
    std::shared_ptr<dispatch::Timer> heartbeatTimer_;
    std::vector<Subscription> cancellables_;
    std::function<void()> endSheets_;
};

}  // namespace mavu::app
