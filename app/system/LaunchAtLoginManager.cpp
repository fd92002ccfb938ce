#include "app/system/LaunchAtLoginManager.h"

#include "platform/log/Log.h"

namespace mavu::app {

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
