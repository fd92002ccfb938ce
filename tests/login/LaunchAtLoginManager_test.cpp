#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/system/LaunchAtLoginManager.h"
#include "tests/support/LogCapture.h"

namespace mavu::app {
namespace {

using namespace services;

// A login item whose status and failures the test sets; success moves the status.
struct ScriptedLoginItem final : AppService,
                                 ServiceManagement,
                                 std::enable_shared_from_this<ScriptedLoginItem> {
    int current = kStatusNotRegistered;
    int afterRegister = kStatusEnabled;
    std::optional<ServiceError> failure;

    int status() override { return current; }
    std::optional<ServiceError> registerService() override {
        current = failure ? current : afterRegister;
        return failure;
    }
    std::optional<ServiceError> unregisterService() override {
        current = failure ? current : kStatusNotRegistered;
        return failure;
    }
    void unregisterService(std::function<void(std::optional<ServiceError>)>) override {}
    std::shared_ptr<AppService> daemonService(const std::string&) override { return nullptr; }
    std::shared_ptr<AppService> mainAppService() override { return shared_from_this(); }
    void openSystemSettingsLoginItems() override {}
};

class LaunchAtLoginManagerTest : public ::testing::Test {
  protected:
    std::shared_ptr<ScriptedLoginItem> item_ = std::make_shared<ScriptedLoginItem>();
    testing::LogCapture log_;
};

TEST_F(LaunchAtLoginManagerTest, FlagsFollowTheStatusFromCreationOn) {
    for (const int status :
         {kStatusEnabled, kStatusRequiresApproval, kStatusNotRegistered, kStatusNotFound, 7, -1}) {
        item_->current = status;
        LaunchAtLoginManager manager(item_);
        EXPECT_EQ(manager.isEnabled(), status == kStatusEnabled) << status;
        EXPECT_EQ(manager.needsApproval(), status == kStatusRequiresApproval) << status;
    }
}

TEST_F(LaunchAtLoginManagerTest, AFailureIsLoggedAndTheFlagsShowTheRealState) {
    LaunchAtLoginManager manager(item_);
    item_->failure = ServiceError{kPosixErrorDomain, "Permission denied"};
    item_->current = kStatusEnabled;  // switched on elsewhere meanwhile
    manager.setEnabled(false);
    EXPECT_EQ(log_.lines(), std::vector<std::string>{"MAVU login item error: Permission denied"});
    EXPECT_TRUE(manager.isEnabled());
}

TEST_F(LaunchAtLoginManagerTest, TurningOnWhileApprovalIsRequiredIsToldToObservers) {
    item_->afterRegister = kStatusRequiresApproval;
    LaunchAtLoginManager manager(item_);
    std::vector<bool> enabled, approval;
    auto enabledSubscription =
        manager.observeIsEnabled([&](bool value) { enabled.push_back(value); });
    auto approvalSubscription =
        manager.observeNeedsApproval([&](bool value) { approval.push_back(value); });
    manager.setEnabled(true);
    manager.refresh();  // unchanged values are told too
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(approval, (std::vector<bool>{false, true, true}));
    EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace mavu::app
