#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/hardware/PowerRegistry.h"

namespace mavu::helper {

// Tells whether the lid is closed: reads the root power domain's clamshell property,
// re-reads it on every interest notification and every 250 ms besides, and reports the
// first state it reads and afterwards only changes. Lives on the main queue.
class LidMonitor : public std::enable_shared_from_this<LidMonitor> {
  public:
    using Handler = std::function<void(bool closed)>;

    static std::shared_ptr<LidMonitor> create(hardware::PowerRegistry& registry,
                                              dispatch::MainQueue& mainQueue, Handler handler);
    ~LidMonitor();
    LidMonitor(const LidMonitor&) = delete;
    LidMonitor& operator=(const LidMonitor&) = delete;

    // Attaches and reports the current state at once; does nothing while started.
    void start();
    // Detaches; a later start() reports afresh.
    void stop();
    bool readClamshellState();
    void checkState();

  private:
    LidMonitor(hardware::PowerRegistry& registry, dispatch::MainQueue& mainQueue, Handler handler);

    hardware::PowerRegistry& registry_;
    dispatch::MainQueue& mainQueue_;
    Handler handler_;
    std::unique_ptr<hardware::RegistryNotificationPort> notifyPort_;
    hardware::RegistryObject notifier_ = 0;
    hardware::RegistryObject rootDomain_ = 0;
    std::shared_ptr<dispatch::Timer> pollTimer_;
    std::optional<bool> lastState_;
    bool unreadable_ = false;
};

}  // namespace mavu::helper
