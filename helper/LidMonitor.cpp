#include "helper/LidMonitor.h"

#include <chrono>
#include <type_traits>

#include "platform/dispatch/Weak.h"
#include "platform/log/Log.h"

namespace mavu::helper {
namespace {

constexpr dispatch::Duration kPollInterval = std::chrono::milliseconds(250);

bool closedFrom(const hardware::RegistryValue& value) {
    return std::visit(
        [](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return v != 0;
            } else {
                return false;
            }
        },
        value);
}

}  // namespace

std::shared_ptr<LidMonitor> LidMonitor::create(hardware::PowerRegistry& registry,
                                               dispatch::MainQueue& mainQueue, Handler handler) {
    return std::shared_ptr<LidMonitor>(new LidMonitor(registry, mainQueue, std::move(handler)));
}

LidMonitor::LidMonitor(hardware::PowerRegistry& registry, dispatch::MainQueue& mainQueue,
                       Handler handler)
    : registry_(registry), mainQueue_(mainQueue), handler_(std::move(handler)) {}

LidMonitor::~LidMonitor() {
    stop();
}

void LidMonitor::start() {
    if (rootDomain_ != 0) {
        return;
    }
    rootDomain_ = registry_.findService(hardware::kRootPowerDomain);
    if (rootDomain_ == 0) {
        log::line("MAVUHelper: IOPMrootDomain not found");
        return;
    }

    lastState_ = readClamshellState();
    handler_(*lastState_);

    notifyPort_ = registry_.createNotificationPort(mainQueue_);
    if (notifyPort_) {
        const int code = registry_.addInterestNotification(
            *notifyPort_, rootDomain_, hardware::kGeneralInterest,
            dispatch::weakly(weak_from_this(), [](LidMonitor& monitor) { monitor.checkState(); }),
            notifier_);
        if (code != 0) {
            log::line("MAVUHelper: IOServiceAddInterestNotification failed: " +
                      std::to_string(code));
        }
    }

    // Notifications may not come at all (or not for every change), so poll as well.
    pollTimer_ = dispatch::Timer::create(mainQueue_);
    pollTimer_->schedule(dispatch::addSaturating(mainQueue_.clock().monotonicNow(), kPollInterval),
                         kPollInterval);
    pollTimer_->setEventHandler(
        dispatch::weakly(weak_from_this(), [](LidMonitor& monitor) { monitor.checkState(); }));
    pollTimer_->resume();
}

void LidMonitor::stop() {
    if (pollTimer_) {
        pollTimer_->setEventHandler([] {});
        pollTimer_->cancel();
        pollTimer_.reset();
    }
    if (notifier_ != 0) {
        registry_.release(notifier_);
        notifier_ = 0;
    }
    notifyPort_.reset();
    if (rootDomain_ != 0) {
        registry_.release(rootDomain_);
        rootDomain_ = 0;
    }
    lastState_.reset();
}

bool LidMonitor::readClamshellState() {
    if (rootDomain_ == 0) {
        return false;
    }
    const auto value = registry_.readProperty(rootDomain_, hardware::kClamshellStateKey);
    // An unreadable lid counts as open, which ends any hold; said once until it reads again.
    if (!value && !unreadable_) {
        log::line("MAVUHelper: the lid state cannot be read; taking the lid as open");
    }
    unreadable_ = !value;
    return value && closedFrom(*value);
}

void LidMonitor::checkState() {
    // A stopped monitor reports nothing, even if a late delivery still reaches it.
    if (rootDomain_ == 0) {
        return;
    }
    const bool closed = readClamshellState();
    if (!lastState_ || *lastState_ != closed) {
        lastState_ = closed;
        handler_(closed);
    }
}

}  // namespace mavu::helper
