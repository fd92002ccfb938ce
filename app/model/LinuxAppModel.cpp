#include "app/model/LinuxAppModel.h"

#include "platform/bundle/InfoPlist.h"
#include "platform/display/QtDisplayList.h"
#include "platform/hotkey/X11HotKeys.h"
#include "platform/ipc/BusHelperConnection.h"
#include "platform/notify/FreedesktopNotifier.h"
#include "platform/services/LinuxServiceManagement.h"
#include "platform/settings/QtSettingsStore.h"
#include "platform/updater/StandardUpdaterController.h"

namespace mavu::app {

std::shared_ptr<AppModel> makeLinuxAppModel(dispatch::Dispatch& dispatch,
                                            std::shared_ptr<alert::AlertPresenter> alerts) {
    auto& main = dispatch.mainQueue();
    // Does nothing when the shared manager already exists (its port stays).
    shortcut::GlobalShortcutManager::installShared(std::make_unique<hotkey::X11HotKeys>(main));

    auto bundle = std::make_shared<bundle::PlistBundleInfo>(bundle::PlistBundleInfo::mainBundle());
    updater::FeedUpdaterOptions updaterOptions;
    updaterOptions.feedUrl = bundle->infoString(bundle::kFeedUrlKey).value_or("");
    updaterOptions.currentBuild = bundle->infoString(bundle::kVersionKey).value_or("");
    updaterOptions.currentVersion = bundle->infoString(bundle::kShortVersionKey).value_or("");

    return AppModel::create(AppModelPorts{
        .mainQueue = main,
        .services = std::make_shared<services::LinuxServiceManagement>(dispatch),
        .helperConnector = std::make_shared<ipc::BusHelperConnector>(),
        .displays = std::make_shared<display::QtDisplayList>(),
        .shortcuts = shortcut::GlobalShortcutManager::shared(),
        .settings =
            std::make_shared<settings::QtSettingsStore>(settings::QtSettingsStore::userFile()),
        .notifier = std::make_shared<notify::FreedesktopNotifier>(dispatch),
        .alerts = std::move(alerts),
        .processExit = std::make_shared<process::ImmediateProcessExit>(),
        .bundle = bundle,
        .makeUpdaterController =
            [&main, updaterOptions](bool startingUpdater,
                                    std::weak_ptr<updater::UpdaterDelegate> delegate) {
                return updater::makeStandardUpdaterController(startingUpdater, std::move(delegate),
                                                              updaterOptions, main);
            },
    });
}

}  // namespace mavu::app
