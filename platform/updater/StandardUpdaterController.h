#pragma once

#include <memory>

#include "platform/dispatch/Queue.h"
#include "platform/updater/FeedFetcher.h"
#include "platform/updater/FeedUpdater.h"
#include "platform/updater/Updater.h"
#include "platform/updater/UpdaterSettings.h"
#include "platform/updater/UserDriver.h"

namespace mavu::updater {

// What the controller's updater works with; the controller owns them.
struct UpdaterParts {
    std::unique_ptr<FeedFetcher> fetcher;
    std::unique_ptr<UserDriver> userDriver;
    std::unique_ptr<UpdaterSettings> settings;
};

// The Linux parts: file and https feeds, Qt Widgets dialogs, the "Updater" group of
// the norvel/MAVU settings.
UpdaterParts linuxUpdaterParts(dispatch::Queue& mainQueue);

class StandardUpdaterController final : public UpdaterController {
  public:
    StandardUpdaterController(bool startingUpdater, std::weak_ptr<UpdaterDelegate> delegate,
                              FeedUpdaterOptions options, dispatch::Queue& mainQueue,
                              UpdaterParts parts);

    Updater& updater() override { return *updater_; }
    void startUpdater() override { updater_->start(); }
    void checkForUpdates() override { updater_->checkForUpdates(); }

  private:
    UpdaterParts parts_;
    // Declared last: it goes first, while the parts it uses still exist.
    std::shared_ptr<FeedUpdater> updater_;
};

// The controller the app creates at start-up, on the main queue, with the Linux parts.
std::unique_ptr<UpdaterController> makeStandardUpdaterController(
    bool startingUpdater, std::weak_ptr<UpdaterDelegate> delegate, FeedUpdaterOptions options,
    dispatch::Queue& mainQueue);

}  // namespace mavu::updater
