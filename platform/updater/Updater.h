#pragma once

#include <functional>
#include <memory>
#include <string>

namespace mavu::updater {

// One release the update feed offers.
struct UpdateItem {
    std::string title;
    // The build number, compared with the running build (CFBundleVersion).
    std::string versionString;
    // The version people read (CFBundleShortVersionString); may be empty.
    std::string displayVersionString;
    // Where the user gets the release; on Linux the package manager installs it.
    std::string downloadPage;
    std::string itemDescription;

    bool operator==(const UpdateItem&) const = default;
};

// What the app hears from the updater. Held weakly: once the app lets it go the
// updater proceeds as if no delegate had been given. Called on the main queue.
class UpdaterDelegate {
  public:
    virtual ~UpdaterDelegate() = default;
    // "updater:willInstallUpdate:" — the user accepted item; its installation starts next.
    virtual void willInstallUpdate(const UpdateItem& item) = 0;
    // "updater:shouldPostponeRelaunchForUpdate:untilInvokingBlock:" — true postpones the
    // relaunch until resume is invoked. resume relaunches once; later invocations, from
    // any thread, do nothing.
    virtual bool shouldPostponeRelaunch(const UpdateItem& item, std::function<void()> resume) = 0;
};

// Lives on the main queue; every call comes from there.
class Updater {
  public:
    virtual ~Updater() = default;
    // Kept by the updater itself across launches; the app stores no copy.
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    // False while a check runs, including while its offer waits for the user.
    virtual bool canCheckForUpdates() const = 0;
    // A check the user asked for: it ends in a dialog whatever it finds.
    virtual void checkForUpdates() = 0;
    // An installed update asks to relaunch the app: the delegate may postpone it. On
    // Linux the package manager installs, so nothing in the updater calls this on its
    // own; a post-install hook (or a test) drives it. relaunch runs at most once.
    virtual void relaunchAfterInstalling(const UpdateItem& item,
                                         std::function<void()> relaunch) = 0;
};

// The standard controller the app owns for the life of the process.
class UpdaterController {
  public:
    virtual ~UpdaterController() = default;
    virtual Updater& updater() = 0;
    // For a controller created without starting its updater; starting twice does nothing.
    virtual void startUpdater() = 0;
    // "checkForUpdates:" — the user-initiated check with the updater's own dialogs.
    virtual void checkForUpdates() = 0;
};

// "initWithStartingUpdater:updaterDelegate:userDriverDelegate:" without a user-driver
// delegate: how the app creates its controller, so its tests can hand it a double.
using MakeUpdaterController = std::function<std::unique_ptr<UpdaterController>(
    bool startingUpdater, std::weak_ptr<UpdaterDelegate> delegate)>;

}  // namespace mavu::updater
