#include "app/model/AppModel.h"

#include "app/shortcut/StoredShortcut.h"
#include "app/system/ExternalDisplay.h"
#include "platform/dispatch/Time.h"
#include "platform/dispatch/Weak.h"

namespace mavu::app {
namespace {

constexpr char kSleepsNormally[] = "Mac sleeps normally when lid closes.";
constexpr char kStaysAwake[] = "Mac stays awake when lid closes.";
constexpr char kNeedsApproval[] =
    "MAVU needs one-time helper approval before it can keep the Mac awake.";
constexpr char kArmFallback[] =
    "MAVU could not start its privileged helper. Please approve MAVU once in System Settings "
    "\u2192 General \u2192 Login Items, then try again.";
constexpr char kRearmFallback[] =
    "MAVU lost its connection to the privileged helper while updating the timer. Please try "
    "again.";
constexpr char kShortcutTaken[] =
    "This shortcut is already used by another app. Please choose a different combination.";
constexpr char kRestartFallback[] = "Could not restart the helper. Try again, or reboot your Mac.";
constexpr char kRestartRearmFallback[] =
    "Helper restarted, but MAVU could not re-arm automatically. Press Keep Awake again if you "
    "need it.";
constexpr char kUninstallFallback[] =
    "Could not fully remove the helper. Remove it manually in System Settings \u2192 General "
    "\u2192 Login Items & Extensions.";
constexpr char kReapproval[] =
    "MAVU's helper needs to be approved again after this update:\n"
    "\n"
    "1. Click \"Open Login Items\" below.\n"
    "2. Find MAVU in the list and turn it off, then on again \u2014 macOS will ask for your Mac "
    "password.\n"
    "3. That's it \u2014 come back to MAVU, no need to do anything else here.";
constexpr char kNotificationTitle[] = "MAVU";

}  // namespace

std::shared_ptr<AppModel> AppModel::create(AppModelPorts ports) {
    std::shared_ptr<AppModel> model(new AppModel(std::move(ports)));
    model->start();
    return model;
}

// Step 1 of the start-up: the published fields other than the settings get their first
// values by their declarations and here.
AppModel::AppModel(AppModelPorts ports)
    : ports_(std::move(ports)), statusText_(kSleepsNormally), setupMessage_(kNeedsApproval) {}

AppModel::~AppModel() {
    if (heartbeatTimer_) {
        heartbeatTimer_->cancel();
    }
}

void AppModel::start() {
    auto& main = ports_.mainQueue;
    helper_ = PrivilegedHelperClient::create(main, *ports_.services, ports_.helperConnector);
    login_ = std::make_unique<LaunchAtLoginManager>(ports_.services);
    coordinator_ = SparkleRelaunchCoordinator::create(main);
    updaterController_ = ports_.makeUpdaterController(true, coordinator_);

    loadSettings();
    autoCheckForUpdates_.set(updaterController_->updater().automaticallyChecksForUpdates());

    // The latest of both login flags, whichever of them changed.
    const auto mirrorLogin = dispatch::weakly(weak_from_this(), [](AppModel& self, bool) {
        self.launchAtLoginEnabled_.set(self.login_->isEnabled());
        self.launchAtLoginNeedsApproval_.set(self.login_->needsApproval());
    });
    cancellables_.push_back(login_->observeIsEnabled(mirrorLogin));
    cancellables_.push_back(login_->observeNeedsApproval(mirrorLogin));
    login_->refresh();

    isArmed_.set(false);
    startHeartbeat();
    const shortcut::KeyCombo combo = shortcut_.get();
    ports_.shortcuts.registerHotKey(combo.keyCode, combo.modifiers, toggleAction());
    // No hold survives from an earlier run of the app.
    helper_->forceSafeOff([] {});
    coordinator_->dismissBlockingUI =
        dispatch::weakly(weak_from_this(), [](AppModel& self) { self.dismissPanels(); });
}

void AppModel::loadSettings() {
    const auto& store = *ports_.settings;
    duration_.set(durationOptionFromRawValue(store.string(kDurationKey).value_or(""))
                      .value_or(DurationOption::infinite));
    appearance_.set(appearancePreferenceFromRawValue(store.string(kAppearanceKey).value_or(""))
                        .value_or(AppearancePreference::system));
    const bool bothStored = store.contains(shortcut::shortcutKeyCodeKey) &&
                            store.contains(shortcut::shortcutModifiersKey);
    shortcut_.set(bothStored
                      ? shortcut::loadStoredShortcut(store.integer(shortcut::shortcutKeyCodeKey),
                                                     store.integer(shortcut::shortcutModifiersKey))
                      : shortcut::defaultCombo);
}

shortcut::GlobalShortcutManager::Action AppModel::toggleAction() {
    return [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->ports_.mainQueue.async(
                dispatch::weakly(weak, [](AppModel& model) { model.toggle(); }));
        }
    };
}

bool AppModel::hasExternalDisplayNow() const {
    return hasExternalDisplay(*ports_.displays);
}

void AppModel::showAlert(const std::string& message) {
    setupMessage_.set(message);
    showSetupAlert_.set(true);
}

void AppModel::showAlert(const std::optional<std::string>& clientError, const char* fallback) {
    // An empty sentence explains nothing: the fallback says more.
    showAlert(clientError && !clientError->empty() ? *clientError : std::string(fallback));
}

// ---- Published flags the interface writes back ----

void AppModel::setShowSettings(bool shown) {
    const bool wasShown = showSettings_.get();
    showSettings_.set(shown);
    if (!wasShown && shown) {
        ports_.mainQueue.async(dispatch::weakly(
            weak_from_this(), [](AppModel& self) { self.refreshHelperVersion(); }));
    }
}

void AppModel::setShowSetupAlert(bool shown) {
    showSetupAlert_.set(shown);
}
void AppModel::setShowUninstallConfirm(bool shown) {
    showUninstallConfirm_.set(shown);
}
void AppModel::setShowUninstallDone(bool shown) {
    showUninstallDone_.set(shown);
}

// ---- Settings ----

void AppModel::selectDuration(DurationOption option) {
    duration_.set(option);
    ports_.settings->setString(kDurationKey, std::string(rawValue(option)));
    if (isArmed_.get()) {
        ports_.mainQueue.async(
            dispatch::weakly(weak_from_this(), [option](AppModel& self) { self.rearm(option); }));
    }
}

void AppModel::setAppearance(AppearancePreference preference) {
    appearance_.set(preference);
    ports_.settings->setString(kAppearanceKey, std::string(rawValue(preference)));
}

void AppModel::updateShortcut(shortcut::KeyCombo combo) {
    const shortcut::KeyCombo previous = shortcut_.get();
    if (ports_.shortcuts.registerHotKey(combo.keyCode, combo.modifiers, toggleAction())) {
        shortcut_.set(combo);
        const auto stored = shortcut::toStored(combo);
        ports_.settings->setInteger(shortcut::shortcutKeyCodeKey, stored.keyCode);
        ports_.settings->setInteger(shortcut::shortcutModifiersKey, stored.modifiers);
        return;
    }
    // The manager dropped the old hot key before trying the new one: bring it back.
    ports_.shortcuts.registerHotKey(previous.keyCode, previous.modifiers, toggleAction());
    showAlert(kShortcutTaken);
}

void AppModel::toggleLaunchAtLogin() {
    login_->setEnabled(!launchAtLoginEnabled_.get());
    launchAtLoginEnabled_.set(login_->isEnabled());
    launchAtLoginNeedsApproval_.set(login_->needsApproval());
}

void AppModel::dismissPanels() {
    setShowSettings(false);
    if (endSheets_) {
        endSheets_();
    }
}

void AppModel::setEndSheets(std::function<void()> endSheets) {
    endSheets_ = std::move(endSheets);
}

void AppModel::openSystemSettingsLoginItems() {
    ports_.services->openSystemSettingsLoginItems();
}

// ---- Updates ----

void AppModel::toggleAutoCheckForUpdates() {
    const bool enabled = !autoCheckForUpdates_.get();
    autoCheckForUpdates_.set(enabled);
    updaterController_->updater().setAutomaticallyChecksForUpdates(enabled);
}

bool AppModel::canCheckForUpdates() {
    return updaterController_->updater().canCheckForUpdates();
}

void AppModel::checkForUpdates() {
    dismissPanels();
    updaterController_->checkForUpdates();
}

bool AppModel::showUpdateNoticeIfNeeded() {
    const std::string build = ports_.bundle->infoString(bundle::kVersionKey).value_or("");
    const std::string version = ports_.bundle->infoString(bundle::kShortVersionKey).value_or("");
    const auto last = ports_.settings->string(kLastSeenBuildKey);
    // Stored before the alert runs: quitting from the tray while it is open must not bring
    // the notice back at the next launch.
    ports_.settings->setString(kLastSeenBuildKey, build);
    if (!last || *last == build) {
        return false;
    }
    ports_.alerts->runModal({"MAVU Updated",
                             "MAVU was updated to version " + version + " (build " + build + ").",
                             {"OK"}});
    return true;
}

// ---- The session ----

void AppModel::armed(const PrivilegedHelperClient::ArmResult& result) {
    if (result.message) {
        handleHelperMessage(*result.message);
    } else {
        statusText_.set(kStaysAwake);
    }
}

void AppModel::disarmAfterUnansweredArm() {
    if (!isArmed_.get()) {
        helper_->disarm([] {});
    }
}

void AppModel::toggle(Done done) {
    if (isArmed_.get()) {
        helper_->disarm(dispatch::weakly(weak_from_this(), [done](AppModel& self) {
            self.isArmed_.set(false);
            self.statusText_.set(kSleepsNormally);
            if (done) {
                done();
            }
        }));
        return;
    }
    helper_->arm(seconds(duration_.get()), hasExternalDisplayNow(),
                 dispatch::weakly(weak_from_this(),
                                  [done](AppModel& self, PrivilegedHelperClient::ArmResult result) {
                                      if (result.ok) {
                                          self.isArmed_.set(true);
                                          self.armed(result);
                                      } else {
                                          self.showAlert(self.helper_->lastError().get(),
                                                         kArmFallback);
                                          self.disarmAfterUnansweredArm();
                                      }
                                      if (done) {
                                          done();
                                      }
                                  }));
}

void AppModel::rearm(DurationOption option, Done done) {
    helper_->arm(seconds(option), hasExternalDisplayNow(),
                 dispatch::weakly(weak_from_this(),
                                  [done](AppModel& self, PrivilegedHelperClient::ArmResult result) {
                                      if (result.ok) {
                                          self.armed(result);
                                      } else {
                                          self.isArmed_.set(false);
                                          self.statusText_.set(kSleepsNormally);
                                          self.showAlert(self.helper_->lastError().get(),
                                                         kRearmFallback);
                                          self.disarmAfterUnansweredArm();
                                      }
                                      if (done) {
                                          done();
                                      }
                                  }));
}

void AppModel::handleHelperMessage(const std::string& message) {
    statusText_.set(message);
    ports_.notifier->post({kNotificationTitle, message});
}

void AppModel::startHeartbeat() {
    if (heartbeatTimer_) {
        heartbeatTimer_->cancel();
    }
    heartbeatTimer_ = dispatch::startRepeating(
        ports_.mainQueue, dispatch::fromSeconds(kHeartbeatIntervalSeconds),
        dispatch::weakly(weak_from_this(), [](AppModel& self) { self.sendHeartbeat(); }));
}

void AppModel::sendHeartbeat() {
    helper_->heartbeat(hasExternalDisplayNow(),
                       dispatch::weakly(weak_from_this(), [](AppModel& self, const std::string& m) {
                           self.handleHelperMessage(m);
                       }));
}

void AppModel::quit(Done done) {
    // The exit happens even if the model were gone by then: quitting must not hang.
    helper_->forceSafeOff([weak = weak_from_this(), exit = ports_.processExit, done] {
        if (const auto self = weak.lock()) {
            self->isArmed_.set(false);
        }
        exit->exit(0);
        if (done) {
            done();
        }
    });
}

// ---- Maintenance ----

void AppModel::refreshHelperVersion(Done done) {
    helper_->helperVersion(dispatch::weakly(
        weak_from_this(), [done](AppModel& self, std::optional<protocol::HelperVersion> version) {
            if (version) {
                self.helperVersion_.set(version->shortVersion);
                self.helperBuild_.set(version->build);
                self.helperVersionUnknown_.set(false);
            } else {
                self.helperVersion_.set(std::nullopt);
                self.helperBuild_.set(std::nullopt);
                self.helperVersionUnknown_.set(true);
            }
            if (done) {
                done();
            }
        }));
}

void AppModel::updateHelper(std::function<void(bool)> done) {
    const auto finish = [done](AppModel& self, bool restarted) {
        self.isRestartingHelper_.set(false);
        if (done) {
            done(restarted);
        }
    };
    if (isRestartingHelper_.get()) {
        if (done) {
            done(false);
        }
        return;
    }
    isRestartingHelper_.set(true);
    const bool wasArmed = isArmed_.get();

    const auto rearmed = [finish](AppModel& self, PrivilegedHelperClient::ArmResult result) {
        if (result.ok) {
            self.isArmed_.set(true);
            self.armed(result);
        } else {
            self.showAlert(self.helper_->lastError().get(), kRestartRearmFallback);
            self.disarmAfterUnansweredArm();
        }
        finish(self, true);
    };
    const auto restarted = [finish, rearmed, wasArmed](AppModel& self, bool ok) {
        if (!ok) {
            if (self.helper_->helperNeedsApproval().get()) {
                self.showAlert(kReapproval);
            } else {
                self.showAlert(self.helper_->lastError().get(), kRestartFallback);
            }
            finish(self, false);
            return;
        }
        self.ports_.mainQueue.async(dispatch::weakly(
            self.weak_from_this(), [](AppModel& model) { model.refreshHelperVersion(); }));
        if (!wasArmed) {
            finish(self, true);
            return;
        }
        self.helper_->arm(seconds(self.duration_.get()), self.hasExternalDisplayNow(),
                          dispatch::weakly(self.weak_from_this(), rearmed));
    };
    const auto restart = [restarted](AppModel& self) {
        self.helper_->restartHelper(dispatch::weakly(self.weak_from_this(), restarted));
    };

    if (!wasArmed) {
        restart(*this);
        return;
    }
    helper_->disarm(dispatch::weakly(weak_from_this(), [restart](AppModel& self) {
        self.isArmed_.set(false);
        self.statusText_.set(kSleepsNormally);
        restart(self);
    }));
}

void AppModel::uninstall(Done done) {
    helper_->forceSafeOff(dispatch::weakly(weak_from_this(), [done](AppModel& self) {
        self.isArmed_.set(false);
        self.helper_->uninstallHelper(
            dispatch::weakly(self.weak_from_this(), [done](AppModel& model, bool ok) {
                // Whatever the daemon's unregistration did, the rest of the app is removed.
                model.login_->setEnabled(false);
                model.ports_.shortcuts.unregister();
                // On Linux the settings live in one fixed file, whatever the bundle says about
                // its identifier: it is always removed.
                model.ports_.settings->removeDomain();
                if (ok) {
                    model.showUninstallDone_.set(true);
                } else {
                    model.showAlert(model.helper_->lastError().get(), kUninstallFallback);
                }
                if (done) {
                    done();
                }
            }));
    }));
}

}  // namespace mavu::app
