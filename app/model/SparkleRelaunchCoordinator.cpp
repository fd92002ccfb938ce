#include "app/model/SparkleRelaunchCoordinator.h"

#include "platform/dispatch/Weak.h"

namespace mavu::app {

std::shared_ptr<SparkleRelaunchCoordinator> SparkleRelaunchCoordinator::create(
    dispatch::MainQueue& mainQueue) {
    return std::shared_ptr<SparkleRelaunchCoordinator>(new SparkleRelaunchCoordinator(mainQueue));
}

void SparkleRelaunchCoordinator::dismiss() {
    if (dismissBlockingUI) {
        dismissBlockingUI();
    }
}

void SparkleRelaunchCoordinator::willInstallUpdate(const updater::UpdateItem&) {
    mainQueue_.async(dispatch::weakly(weak_from_this(),
                                      [](SparkleRelaunchCoordinator& self) { self.dismiss(); }));
}

bool SparkleRelaunchCoordinator::shouldPostponeRelaunch(const updater::UpdateItem&,
                                                        std::function<void()> resume) {
    // The relaunch goes ahead even when the coordinator is gone by then: postponing it for
    // good would leave the old build running after an install.
    mainQueue_.async([weak = weak_from_this(), resume = std::move(resume)] {
        if (const auto self = weak.lock()) {
            self->dismiss();
        }
        if (resume) {
            resume();
        }
    });
    return true;
}

}  // namespace mavu::app
