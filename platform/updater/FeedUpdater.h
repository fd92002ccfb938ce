#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Time.h"
#include "platform/dispatch/Timer.h"
#include "platform/updater/FeedFetcher.h"
#include "platform/updater/Updater.h"
#include "platform/updater/UpdaterSettings.h"
#include "platform/updater/UserDriver.h"

namespace mavu::updater {

struct FeedUpdaterOptions {
    // file:// or https://; the app passes its Info value or its default.
    std::string feedUrl;
    // The running app's CFBundleVersion, compared with the feed's builds.
    std::string currentBuild;
    // Its CFBundleShortVersionString, for the dialogs; the build stands in when empty.
    std::string currentVersion;
    // Until the user changes it.
    bool automaticChecksByDefault = true;
    dispatch::Duration firstAutomaticCheckDelay = std::chrono::minutes(1);
    dispatch::Duration automaticCheckInterval = std::chrono::hours(24);
};

// Our updater: checks the appcast, tells the user what it found, and leaves installing
// to the package manager by opening the release's download page.
//
// Lives on the main queue. The fetcher, the user driver, the settings and the queue must
// outlive it; callbacks it hands out hold it weakly.
class FeedUpdater final : public Updater, public std::enable_shared_from_this<FeedUpdater> {
  public:
    static std::shared_ptr<FeedUpdater> create(FeedUpdaterOptions options,
                                               dispatch::Queue& mainQueue, FeedFetcher& fetcher,
                                               UserDriver& userDriver, UpdaterSettings& settings,
                                               std::weak_ptr<UpdaterDelegate> delegate);

    // Schedules the automatic checks (when enabled); only the first call counts.
    void start();
    bool isStarted() const { return started_; }

    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    bool canCheckForUpdates() const override;
    void checkForUpdates() override;
    void relaunchAfterInstalling(const UpdateItem& item, std::function<void()> relaunch) override;

  private:
    enum class CheckKind { userInitiated, automatic };

    FeedUpdater(FeedUpdaterOptions options, dispatch::Queue& mainQueue, FeedFetcher& fetcher,
                UserDriver& userDriver, UpdaterSettings& settings,
                std::weak_ptr<UpdaterDelegate> delegate);

    void scheduleAutomaticChecks();
    void beginCheck(CheckKind kind);
    void feedArrived(std::uint64_t session, FeedResponse response);
    void offer(std::uint64_t session, const UpdateItem& item);
    void userChose(std::uint64_t session, const UpdateItem& item, UpdateChoice choice);
    void fail(const std::string& sentence);
    void reportUpToDate();
    void endCheck();
    std::string currentVersionForPeople() const;

    const FeedUpdaterOptions options_;
    dispatch::Queue& queue_;
    FeedFetcher& fetcher_;
    UserDriver& userDriver_;
    UpdaterSettings& settings_;
    const std::weak_ptr<UpdaterDelegate> delegate_;

    bool started_ = false;
    std::shared_ptr<dispatch::Timer> automaticChecks_;
    // The check in progress; the serial tells a late answer from an earlier check apart.
    std::optional<CheckKind> running_;
    std::uint64_t session_ = 0;
};

}  // namespace mavu::updater
