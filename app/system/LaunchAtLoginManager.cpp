#include "app/system/LaunchAtLoginManager.h"

#include "platform/log/Log.h"

namespace mavu::app {

void LaunchAtLoginManager::Flag::set(bool newValue) {
    value = newValue;
    // A copy, so an observer may subscribe another one while being told.
    const auto current = observers;
    for (const auto& observer : current) {
        observer(value);
    }
}

void LaunchAtLoginManager::Flag::observe(Observer observer) {
    observers.push_back(observer);
    observer(value);
}

LaunchAtLoginManager::LaunchAtLoginManager(std::shared_ptr<services::ServiceManagement> services)
    : services_(std::move(services)) {
    refresh();
}

void LaunchAtLoginManager::refresh() {
    const int status = services_->mainAppService()->status();
    isEnabled_.set(status == services::kStatusEnabled);
    needsApproval_.set(status == services::kStatusRequiresApproval);
}

void LaunchAtLoginManager::setEnabled(bool enabled) {
    auto service = services_->mainAppService();
    const auto error = enabled ? service->registerService() : service->unregisterService();
    if (error) {
        log::line("MAVU login item error: " + error->localizedDescription);
    }
    refresh();
}

}  // namespace mavu::app
