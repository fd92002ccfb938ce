#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/AppModel.h"
#include "platform/bundle/InfoPlist.h"
#include "platform/settings/QtSettingsStore.h"
#include "tests/client/ScriptedDaemonService.h"
#include "tests/shortcut/HotKeyPortDouble.h"
#include "tests/support/ScriptedHelperConnection.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::testing {

// A login item whose registration always goes through.
struct LoginItem final : services::AppService {
    int current = services::kStatusNotRegistered;
    int status() override { return current; }
    std::optional<services::ServiceError> registerService() override {
        current = services::kStatusEnabled;
        return std::nullopt;
    }
    std::optional<services::ServiceError> unregisterService() override {
        current = services::kStatusNotRegistered;
        return std::nullopt;
    }
    void unregisterService(std::function<void(std::optional<services::ServiceError>)>) override {}
};

struct Screens final : display::DisplayList {
    std::vector<display::ActiveDisplay> activeDisplays() const override { return list; }
    std::vector<display::ActiveDisplay> list{{1, true}};
};

struct RecordingNotifier final : notify::Notifier {
    void post(notify::Notification n) override { posted.push_back(std::move(n)); }
    std::vector<notify::Notification> posted;
};

struct RecordingAlerts final : alert::AlertPresenter {
    void runModal(const alert::Alert& alert) override { shown.push_back(alert); }
    std::vector<alert::Alert> shown;
};

struct RecordingExit final : process::ProcessExit {
    void exit(int status) override { exits.push_back(status); }
    std::vector<int> exits;
};

struct FakeUpdater final : updater::Updater {
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { automatic = enabled; }
    bool canCheckForUpdates() const override { return canCheck; }
    void checkForUpdates() override { ++checks; }
    void relaunchAfterInstalling(const updater::UpdateItem&, std::function<void()>) override {}
    bool automatic = true;
    bool canCheck = true;
    int checks = 0;
    bool started = false;
    std::weak_ptr<updater::UpdaterDelegate> delegate;
};

struct FakeUpdaterController final : updater::UpdaterController {
    explicit FakeUpdaterController(std::shared_ptr<FakeUpdater> fake) : fake(std::move(fake)) {}
    updater::Updater& updater() override { return *fake; }
    void startUpdater() override {}
    void checkForUpdates() override { fake->checkForUpdates(); }
    std::shared_ptr<FakeUpdater> fake;
};

// Everything a model runs on. It outlives the models it launches, so a relaunch reads
// what the last one stored, as the next run of the app would.
class ModelWorld {
  public:
    ModelWorld() { writeInfo("1.3", "42"); }

    // Creates the model (the start-up sequence) and answers its forceSafeOff.
    app::AppModel& launch() {
        model = app::AppModel::create(app::AppModelPorts{
            .mainQueue = dispatch.mainQueue(),
            .services = services,
            .helperConnector = connector,
            .displays = screens,
            .shortcuts = shortcuts,
            .settings = settings,
            .notifier = notifier,
            .alerts = alerts,
            .processExit = exit,
            .bundle = std::make_shared<bundle::PlistBundleInfo>(folder.path("Info.plist")),
            .makeUpdaterController =
                [this](bool starting, std::weak_ptr<updater::UpdaterDelegate> delegate) {
                    updater->started = starting;
                    updater->delegate = std::move(delegate);
                    return std::make_unique<FakeUpdaterController>(updater);
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

    void writeInfo(std::optional<std::string> version, const std::string& build) {
        std::string dict = "<key>CFBundleVersion</key><string>" + build + "</string>";
        if (version) {
            dict += "<key>CFBundleShortVersionString</key><string>" + *version + "</string>";
        }
        folder.write("Info.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + dict +
                                       "</dict></plist>");
    }

    // What went to the daemon, e.g. "Arm 7200", "Disarm"; heartbeats as "Heartbeat 0/1".
    std::vector<std::string> sent(bool heartbeats = false) const {
        std::vector<std::string> members;
        for (const auto& message : connector->sent) {
            if (message->member == "Arm") {
                members.push_back("Arm " + std::to_string(int(message->durationSeconds)));
            } else if (message->member == "Heartbeat") {
                if (heartbeats) {
                    members.push_back("Heartbeat " +
                                      std::to_string(int(message->hasExternalDisplay)));
                }
            } else {
                members.push_back(message->member);
            }
        }
        return members;
    }
    // Answers the latest message of member as the daemon would.
    void answer(const std::string& member, bool ok = true,
                std::optional<std::string> message = std::nullopt) {
        for (auto it = connector->sent.rbegin(); it != connector->sent.rend(); ++it) {
            if ((*it)->member == member) {
                if (member == "ForceSafeOff") {
                    (*it)->emptyReply();
                } else {
                    (*it)->reply(ok, std::move(message));
                }
                return;
            }
        }
    }

    VirtualDispatch dispatch;
    TempDir folder;
    std::shared_ptr<settings::QtSettingsStore> settings =
        std::make_shared<settings::QtSettingsStore>(folder.path("norvel/MAVU.conf"));
    std::shared_ptr<ScriptedServiceManagement> services =
        std::make_shared<ScriptedServiceManagement>(dispatch.mainQueue(),
                                                    std::make_shared<LoginItem>());
    std::shared_ptr<ScriptedHelperConnector> connector =
        std::make_shared<ScriptedHelperConnector>();
    std::shared_ptr<Screens> screens = std::make_shared<Screens>();
    HotKeyPortDouble* hotKeys = new HotKeyPortDouble;
    shortcut::GlobalShortcutManager shortcuts{std::unique_ptr<hotkey::HotKeyPort>(hotKeys)};
    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
    std::shared_ptr<RecordingExit> exit = std::make_shared<RecordingExit>();
    std::shared_ptr<FakeUpdater> updater = std::make_shared<FakeUpdater>();
    std::shared_ptr<app::AppModel> model;
};

}  // namespace mavu::testing
