#include "platform/updater/StandardUpdaterController.h"

#include "platform/updater/FeedFetcherByScheme.h"
#include "platform/updater/FileFeedFetcher.h"
#include "platform/updater/NetworkFeedFetcher.h"
#include "platform/updater/QtUpdaterSettings.h"
#include "platform/updater/QtUserDriver.h"

namespace mavu::updater {

UpdaterParts linuxUpdaterParts(dispatch::Queue& mainQueue) {
    return {std::make_unique<FeedFetcherByScheme>(std::make_unique<FileFeedFetcher>(),
                                                  std::make_unique<NetworkFeedFetcher>(mainQueue)),
            std::make_unique<QtUserDriver>(), std::make_unique<QtUpdaterSettings>()};
}

StandardUpdaterController::StandardUpdaterController(bool startingUpdater,
                                                     std::weak_ptr<UpdaterDelegate> delegate,
                                                     FeedUpdaterOptions options,
                                                     dispatch::Queue& mainQueue, UpdaterParts parts)
    : parts_(std::move(parts)),
      updater_(FeedUpdater::create(std::move(options), mainQueue, *parts_.fetcher,
                                   *parts_.userDriver, *parts_.settings, std::move(delegate))) {
    if (startingUpdater) {
        updater_->start();
    }
}

std::unique_ptr<UpdaterController> makeStandardUpdaterController(
    bool startingUpdater, std::weak_ptr<UpdaterDelegate> delegate, FeedUpdaterOptions options,
    dispatch::Queue& mainQueue) {
    return std::make_unique<StandardUpdaterController>(startingUpdater, std::move(delegate),
                                                       std::move(options), mainQueue,
                                                       linuxUpdaterParts(mainQueue));
}

}  // namespace mavu::updater
