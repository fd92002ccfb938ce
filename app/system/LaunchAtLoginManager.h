#pragma once

#include <memory>

#include "app/system/Observable.h"
#include "platform/services/ServiceManagement.h"

namespace mavu::app {

// Switches the app's own login item on and off and publishes what the system reports:
// whether it is on, and whether the system holds it for the user's approval. Main thread
// only.
class LaunchAtLoginManager {
  public:
    using Observer = Observable<bool>::Observer;

    // Reads the current state before returning.
    explicit LaunchAtLoginManager(std::shared_ptr<services::ServiceManagement> services);

    bool isEnabled() const { return isEnabled_.get(); }
    bool needsApproval() const { return needsApproval_.get(); }

    // The observer gets the current value at once, then the value of every later write
    // (a write notifies even when the value stays the same), until the subscription ends.
    [[nodiscard]] Subscription observeIsEnabled(Observer observer) const {
        return isEnabled_.subscribe(std::move(observer));
    }
    [[nodiscard]] Subscription observeNeedsApproval(Observer observer) const {
        return needsApproval_.subscribe(std::move(observer));
    }

    // Re-reads the status from the system into both flags.
    void refresh();
    // Registers or unregisters the login item, then refreshes. A failure is only logged:
    // the flags show what really happened.
    void setEnabled(bool enabled);

  private:
    std::shared_ptr<services::ServiceManagement> services_;
    Observable<bool> isEnabled_{false};
    Observable<bool> needsApproval_{false};
};

}  // namespace mavu::app
