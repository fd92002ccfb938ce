#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/services/ServiceManagement.h"

namespace mavu::app {

// Switches the app's own login item on and off and publishes what the system reports:
// whether it is on, and whether the system holds it for the user's approval. Main thread
// only.
class LaunchAtLoginManager {
  public:
    using Observer = std::function<void(bool)>;

    // Reads the current state before returning.
    explicit LaunchAtLoginManager(std::shared_ptr<services::ServiceManagement> services);

    bool isEnabled() const { return isEnabled_.value; }
    bool needsApproval() const { return needsApproval_.value; }

    // The observer gets the current value at once, then the value of every later write
    // (a write notifies even when the value stays the same). Observers live as long as
    // the manager: whatever they capture must too.
    void observeIsEnabled(Observer observer) { isEnabled_.observe(std::move(observer)); }
    void observeNeedsApproval(Observer observer) { needsApproval_.observe(std::move(observer)); }

    // Re-reads the status from the system into both flags.
    void refresh();
    // Registers or unregisters the login item, then refreshes. A failure is only logged:
    // the flags show what really happened.
    void setEnabled(bool enabled);

  private:
    struct Flag {
        bool value = false;
        std::vector<Observer> observers;
        void set(bool newValue);
        void observe(Observer observer);
    };

    std::shared_ptr<services::ServiceManagement> services_;
    Flag isEnabled_;
    Flag needsApproval_;
};

}  // namespace mavu::app
