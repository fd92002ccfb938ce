#include "platform/updater/FeedUpdater.h"

#include <mutex>
#include <utility>

#include "platform/dispatch/Weak.h"
#include "platform/log/Log.h"
#include "platform/updater/Appcast.h"
#include "platform/updater/VersionComparison.h"

namespace mavu::updater {
namespace {

constexpr char kNothingToOffer[] = "The update feed lists no release that can be offered.";

// The relaunch an installed update asked for; it runs once, whoever triggers it.
class PendingRelaunch {
  public:
    explicit PendingRelaunch(std::function<void()> relaunch) : relaunch_(std::move(relaunch)) {}

    void run() {
        std::function<void()> relaunch;
        {
            std::lock_guard lock(mutex_);
            relaunch = std::exchange(relaunch_, nullptr);
        }
        if (relaunch) {
            relaunch();
        }
    }

  private:
    std::mutex mutex_;
    std::function<void()> relaunch_;
};

}  // namespace

std::shared_ptr<FeedUpdater> FeedUpdater::create(FeedUpdaterOptions options,
                                                 dispatch::Queue& mainQueue, FeedFetcher& fetcher,
                                                 UserDriver& userDriver, UpdaterSettings& settings,
                                                 std::weak_ptr<UpdaterDelegate> delegate) {
    return std::shared_ptr<FeedUpdater>(new FeedUpdater(std::move(options), mainQueue, fetcher,
                                                        userDriver, settings, std::move(delegate)));
}

FeedUpdater::FeedUpdater(FeedUpdaterOptions options, dispatch::Queue& mainQueue,
                         FeedFetcher& fetcher, UserDriver& userDriver, UpdaterSettings& settings,
                         std::weak_ptr<UpdaterDelegate> delegate)
    : options_(std::move(options)),
      queue_(mainQueue),
      fetcher_(fetcher),
      userDriver_(userDriver),
      settings_(settings),
      delegate_(std::move(delegate)) {}

void FeedUpdater::start() {
    if (started_) {
        return;
    }
    started_ = true;
    scheduleAutomaticChecks();
}

bool FeedUpdater::automaticallyChecksForUpdates() const {
    return settings_.automaticallyChecksForUpdates().value_or(options_.automaticChecksByDefault);
}

void FeedUpdater::setAutomaticallyChecksForUpdates(bool enabled) {
    settings_.setAutomaticallyChecksForUpdates(enabled);
    if (started_) {
        scheduleAutomaticChecks();
    }
}

bool FeedUpdater::canCheckForUpdates() const {
    return !running_.has_value();
}

void FeedUpdater::checkForUpdates() {
    beginCheck(CheckKind::userInitiated);
}

void FeedUpdater::scheduleAutomaticChecks() {
    if (automaticChecks_) {
        automaticChecks_->cancel();
        automaticChecks_.reset();
    }
    if (!automaticallyChecksForUpdates()) {
        return;
    }
    automaticChecks_ = dispatch::Timer::create(queue_);
    automaticChecks_->schedule(
        dispatch::addSaturating(queue_.clock().monotonicNow(), options_.firstAutomaticCheckDelay),
        options_.automaticCheckInterval);
    automaticChecks_->setEventHandler(dispatch::weakly(
        weak_from_this(), [](FeedUpdater& self) { self.beginCheck(CheckKind::automatic); }));
    automaticChecks_->resume();
}

void FeedUpdater::beginCheck(CheckKind kind) {
    if (running_) {
        // Sparing the user a second dialog; the check in progress answers for both.
        log::line("MAVU updater: a check is already running");
        return;
    }
    running_ = kind;
    const std::uint64_t session = ++session_;
    // The answer may come at once or from the network: either way it is handled later
    // on the main queue, never inside fetch().
    fetcher_.fetch(
        options_.feedUrl, [weak = weak_from_this(), session](FeedResponse response) mutable {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            self->queue_.async(dispatch::weakly(
                weak, [session, response = std::move(response)](FeedUpdater& updater) mutable {
                    updater.feedArrived(session, std::move(response));
                }));
        });
}

void FeedUpdater::feedArrived(std::uint64_t session, FeedResponse response) {
    if (session != session_ || !running_) {
        return;
    }
    if (!response.ok()) {
        fail(response.error);
        return;
    }
    const Appcast appcast = parseAppcast(response.body);
    if (!appcast.ok()) {
        fail(appcast.error);
        return;
    }
    if (appcast.items.empty()) {
        reportUpToDate();
        return;
    }
    const std::optional<UpdateItem> newest = newestOfferableItem(appcast.items);
    if (!newest) {
        fail(kNothingToOffer);
        return;
    }
    if (compareVersions(newest->versionString, options_.currentBuild) <= 0) {
        reportUpToDate();
        return;
    }
    offer(session, *newest);
}

void FeedUpdater::offer(std::uint64_t session, const UpdateItem& item) {
    auto answered = std::make_shared<bool>(false);
    userDriver_.showUpdateFound(
        item, currentVersionForPeople(),
        dispatch::weakly(weak_from_this(),
                         [session, item, answered](FeedUpdater& self, UpdateChoice choice) {
                             if (std::exchange(*answered, true)) {
                                 return;
                             }
                             self.userChose(session, item, choice);
                         }));
}

void FeedUpdater::userChose(std::uint64_t session, const UpdateItem& item, UpdateChoice choice) {
    if (session != session_ || !running_) {
        return;
    }
    endCheck();
    if (choice != UpdateChoice::download) {
        return;
    }
    if (auto delegate = delegate_.lock()) {
        delegate->willInstallUpdate(item);
    }
    userDriver_.showDownloadPage(item.downloadPage);
}

void FeedUpdater::fail(const std::string& sentence) {
    log::line("MAVU updater: " + sentence);
    const bool userInitiated = running_ == CheckKind::userInitiated;
    endCheck();
    // A check nobody asked for stays quiet about a failure; the next one may succeed.
    if (userInitiated) {
        userDriver_.showUpdaterError(sentence);
    }
}

void FeedUpdater::reportUpToDate() {
    const bool userInitiated = running_ == CheckKind::userInitiated;
    endCheck();
    if (userInitiated) {
        userDriver_.showUpToDate(currentVersionForPeople());
    }
}

void FeedUpdater::endCheck() {
    running_.reset();
}

std::string FeedUpdater::currentVersionForPeople() const {
    return options_.currentVersion.empty() ? options_.currentBuild : options_.currentVersion;
}

void FeedUpdater::relaunchAfterInstalling(const UpdateItem& item, std::function<void()> relaunch) {
    auto pending = std::make_shared<PendingRelaunch>(std::move(relaunch));
    auto resume = [pending] { pending->run(); };
    if (auto delegate = delegate_.lock();
        delegate && delegate->shouldPostponeRelaunch(item, resume)) {
        return;
    }
    resume();
}

}  // namespace mavu::updater
