#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/model/AppModel.h"
#include "platform/bundle/InfoPlist.h"
#include "platform/hotkey/HotKeyPort.h"
#include "platform/services/XdgAutostartService.h"
#include "platform/settings/QtSettingsStore.h"
#include "tests/client/ScriptedDaemonService.h"
#include "tests/support/ScriptedHelperConnection.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::testing {

// The screens, the notification server, the alerts and the process's end, recording.
struct Desk final : display::DisplayList,
                    notify::Notifier,
                    alert::AlertPresenter,
                    process::ProcessExit {
    std::vector<display::ActiveDisplay> activeDisplays() const override { return displays; }
    void post(notify::Notification n) override { posted.push_back(std::move(n)); }
    void runModal(const alert::Alert& alert) override { shown.push_back(alert); }
    void exit(int status) override { exits.push_back(status); }
    std::vector<display::ActiveDisplay> displays{{1, true}};
    std::vector<notify::Notification> posted;
    std::vector<alert::Alert> shown;
    std::vector<int> exits;
};

// Holds what is registered and refuses taken combinations.
struct HotKeyPortDouble final : hotkey::HotKeyPort {
    using Combo = std::pair<std::uint32_t, std::uint32_t>;
    std::optional<hotkey::HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t mods,
                                                    hotkey::HotKeyID) override {
        if (taken.contains({keyCode, mods})) {
            return std::nullopt;
        }
        active[nextRef] = {keyCode, mods};
        return nextRef++;
    }
    void unregisterHotKey(hotkey::HotKeyRef ref) override { active.erase(ref); }
    bool installPressHandler(hotkey::PressHandler) override { return true; }
    std::set<Combo> taken;
    std::map<hotkey::HotKeyRef, Combo> active;
    hotkey::HotKeyRef nextRef = 1;
};

struct FakeUpdater final : updater::Updater, updater::UpdaterController {
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { automatic = enabled; }
    bool canCheckForUpdates() const override { return true; }
    void checkForUpdates() override { ++checks; }
    void relaunchAfterInstalling(const updater::UpdateItem&, std::function<void()>) override {}
    updater::Updater& updater() override { return *this; }
    void startUpdater() override {}
    bool automatic = true, started = false;
    int checks = 0;
    std::weak_ptr<updater::UpdaterDelegate> delegate;
};

// Everything a model runs on. It outlives the models it launches, so a relaunch reads
// what the last one stored, as the next run of the app would.
class ModelWorld {
  public:
    ModelWorld() { writeInfo(); }

    // Creates the model (the start-up sequence) and answers its forceSafeOff.
    app::AppModel& launch() {
        model = app::AppModel::create(app::AppModelPorts{
            .mainQueue = dispatch.mainQueue(),
            .services = services,
            .helperConnector = connector,
            .displays = desk,
            .shortcuts = shortcuts,
            .settings = settings,
            .notifier = desk,
            .alerts = desk,
            .processExit = desk,
            .bundle = std::make_shared<bundle::PlistBundleInfo>(folder.path("Info.plist")),
            .makeUpdaterController =
                [this](bool starting, std::weak_ptr<updater::UpdaterDelegate> delegate) {
                    updater = new FakeUpdater;
                    updater->started = starting;
                    updater->delegate = std::move(delegate);
                    return std::unique_ptr<updater::UpdaterController>(updater);
                },
        });
        dispatch.runUntilIdle();
        answer("ForceSafeOff");
        dispatch.runUntilIdle();
        return *model;
    }

    // Toggles on and answers the arm with ok and message.
    void arm(std::optional<std::string> message = std::nullopt) {
        model->toggle();
        dispatch.runUntilIdle();
        answer("Arm", true, std::move(message));
        dispatch.runUntilIdle();
    }

    // The bundle's build is 42; its version entry is given (empty: none).
    void writeInfo(
        const std::string& version = "<key>CFBundleShortVersionString</key><string>1.3</string>") {
        folder.write("Info.plist",
                     "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleVersion"
                     "</key><string>42</string>" +
                         version + "</dict></plist>");
    }

    // What went to the daemon, e.g. "Arm 7200", "Disarm", "Heartbeat 1" (with a monitor).
    std::vector<std::string> sent() const {
        std::vector<std::string> members;
        for (const auto& m : connector->sent) {
            const bool arm = m->member == "Arm", beat = m->member == "Heartbeat";
            members.push_back(m->member + (arm    ? " " + std::to_string(int(m->durationSeconds))
                                           : beat ? " " + std::to_string(m->hasExternalDisplay)
                                                  : ""));
        }
        return members;
    }
    // Answers the latest message of member as the daemon would.
    void answer(const std::string& member, bool ok = true,
                std::optional<std::string> message = std::nullopt) {
        for (auto it = connector->sent.rbegin(); it != connector->sent.rend(); ++it) {
            if ((*it)->member == member) {
                return member == "ForceSafeOff" ? (*it)->emptyReply()
                                                : (*it)->reply(ok, std::move(message));
            }
        }
    }

    VirtualDispatch dispatch;
    TempDir folder;
    std::shared_ptr<settings::QtSettingsStore> settings =
        std::make_shared<settings::QtSettingsStore>(folder.path("norvel/MAVU.conf"));
    std::shared_ptr<ScriptedServiceManagement> services =
        std::make_shared<ScriptedServiceManagement>(
            dispatch.mainQueue(), std::make_shared<services::XdgAutostartService>(
                                      folder.path("autostart"), "mavu", dispatch.mainQueue()));
    std::shared_ptr<ScriptedHelperConnector> connector =
        std::make_shared<ScriptedHelperConnector>();
    std::shared_ptr<Desk> desk = std::make_shared<Desk>();
    HotKeyPortDouble* hotKeys = new HotKeyPortDouble;
    shortcut::GlobalShortcutManager shortcuts{std::unique_ptr<hotkey::HotKeyPort>(hotKeys)};
    FakeUpdater* updater = nullptr;  // the latest model's
    std::shared_ptr<app::AppModel> model;
};

}  // namespace mavu::testing
