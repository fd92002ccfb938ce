#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/Queue.h"
#include "platform/updater/Updater.h"

namespace mavu::app {

// The updater's delegate: puts the app's panels out of the way before an update is
// installed and before the app is relaunched. Both callbacks return at once and do their
// work as separate work on the main queue, never on the caller's stack.
class SparkleRelaunchCoordinator final
    : public updater::UpdaterDelegate,
      public std::enable_shared_from_this<SparkleRelaunchCoordinator> {
  public:
    static std::shared_ptr<SparkleRelaunchCoordinator> create(dispatch::MainQueue& mainQueue);

    // Closes whatever would stand in the way; none until the model sets it.
    std::function<void()> dismissBlockingUI;

    void willInstallUpdate(const updater::UpdateItem& item) override;
    // Always postpones; resume runs on the main queue right after dismissBlockingUI.
    bool shouldPostponeRelaunch(const updater::UpdateItem& item,
                                std::function<void()> resume) override;

  private:
    explicit SparkleRelaunchCoordinator(dispatch::MainQueue& mainQueue) : mainQueue_(mainQueue) {}
    void dismiss();

    dispatch::MainQueue& mainQueue_;
};

}  // namespace mavu::app
