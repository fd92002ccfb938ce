#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "platform/services/ServiceManagement.h"

namespace mavu::testing {

// The daemon's registration as the test scripts it: statuses are read in order (the last
// one repeats), register and unregister fail when told to.
class ScriptedDaemonService final : public services::AppService {
  public:
    explicit ScriptedDaemonService(dispatch::MainQueue& main) : main_(main) {}

    int status() override {
        const int value = statuses.front();
        statuses.erase(statuses.begin(), statuses.begin() + (statuses.size() > 1 ? 1 : 0));
        return value;
    }
    std::optional<services::ServiceError> registerService() override {
        ++registerCalls;
        return registerError;
    }
    std::optional<services::ServiceError> unregisterService() override { return unregisterError; }
    void unregisterService(
        std::function<void(std::optional<services::ServiceError>)> completion) override {
        main_.async([completion, error = unregisterError] { completion(error); });
    }

    std::vector<int> statuses{services::kStatusEnabled};
    std::optional<services::ServiceError> registerError;
    std::optional<services::ServiceError> unregisterError;
    int registerCalls = 0;

  private:
    dispatch::MainQueue& main_;
};

class ScriptedServiceManagement final : public services::ServiceManagement {
  public:
    explicit ScriptedServiceManagement(dispatch::MainQueue& main,
                                       std::shared_ptr<services::AppService> loginItem = nullptr)
        : daemon(std::make_shared<ScriptedDaemonService>(main)), loginItem(std::move(loginItem)) {}

    std::shared_ptr<services::AppService> daemonService(const std::string&) override {
        return daemon;
    }
    std::shared_ptr<services::AppService> mainAppService() override { return loginItem; }
    void openSystemSettingsLoginItems() override {}

    std::shared_ptr<ScriptedDaemonService> daemon;
    std::shared_ptr<services::AppService> loginItem;
};

}  // namespace mavu::testing
