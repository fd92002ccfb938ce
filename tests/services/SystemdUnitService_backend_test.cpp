#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/services/LinuxServiceManagement.h"
#include "protocol/HelperProtocol.h"
#include "tests/services/SystemdMock.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::services {
namespace {

std::string describe(const std::optional<ServiceError>& error) {
    return error ? error->domain + ": " + error->localizedDescription : "success";
}

class SystemdUnitServiceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { mock_ = new testing::SystemdMock(); }
    static void TearDownTestSuite() { delete mock_; }
    void SetUp() override { mock_->reset(); }

    static inline testing::SystemdMock* mock_ = nullptr;
    testing::VirtualDispatch dispatch_;
    LinuxServiceManagement management_{dispatch_};
    // The daemon's unit, reached through the name the app knows it by.
    std::shared_ptr<AppService> service_ = management_.daemonService(protocol::kServicePlistName);
};

TEST_F(SystemdUnitServiceTest, StatusReadsTheUnitFileState) {
    EXPECT_EQ(service_->status(), kStatusNotRegistered);
    mock_->setState("enabled");
    EXPECT_EQ(service_->status(), kStatusEnabled);
    mock_->setState("");
    EXPECT_EQ(service_->status(), kStatusNotFound);
    mock_->fail("GetUnitFileState", "org.freedesktop.systemd1.NoSuchUnit", "Unit not found.");
    EXPECT_EQ(service_->status(), kStatusNotFound);
}

TEST_F(SystemdUnitServiceTest, RegisterEnablesAndStartsUnregisterStopsAndDisables) {
    EXPECT_EQ(describe(service_->registerService()), "success");
    EXPECT_EQ(service_->status(), kStatusEnabled);
    std::vector<std::string> results;
    service_->unregisterService([&](std::optional<ServiceError> error) {
        EXPECT_TRUE(dispatch_.mainQueue().isCurrent());
        results.push_back(describe(error));
    });
    EXPECT_EQ(service_->status(), kStatusEnabled);  // not on the caller's turn
    dispatch_.runUntilIdle();
    EXPECT_EQ(results, std::vector<std::string>{"success"});
    EXPECT_EQ(service_->status(), kStatusNotRegistered);
    EXPECT_EQ(mock_->calls(),
              (std::vector<std::string>{"EnableUnitFiles", "Reload", "StartUnit",
                                        "GetUnitFileState", "GetUnitFileState", "StopUnit",
                                        "DisableUnitFiles", "Reload", "GetUnitFileState"}));
}

TEST_F(SystemdUnitServiceTest, PolkitRefusalRequiresApprovalUntilTheUnitIsEnabled) {
    for (const char* refusal : {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                                "org.freedesktop.DBus.Error.AccessDenied"}) {
        mock_->reset();
        mock_->fail("EnableUnitFiles", refusal, "Interactive authentication required.");
        EXPECT_EQ(describe(service_->registerService()),
                  "SMAppServiceErrorDomain: Interactive authentication required.");
        EXPECT_EQ(service_->status(), kStatusRequiresApproval);
        EXPECT_EQ(service_->status(), kStatusRequiresApproval);
        mock_->setState("enabled");  // an administrator did it
        EXPECT_EQ(service_->status(), kStatusEnabled);
        mock_->setState("disabled");
        EXPECT_EQ(service_->status(), kStatusNotRegistered);
    }
}

TEST_F(SystemdUnitServiceTest, OtherFailuresKeepTheBusErrorAndNeedNoApproval) {
    mock_->fail("EnableUnitFiles", "org.freedesktop.systemd1.UnitMasked", "Unit is masked.");
    EXPECT_EQ(describe(service_->registerService()),
              "org.freedesktop.systemd1.UnitMasked: Unit is masked.");
    EXPECT_EQ(service_->status(), kStatusNotRegistered);

    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    EXPECT_EQ(service_->status(), kStatusUnknown);
    const auto noBus = service_->registerService();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", mock_->address().c_str(), 1);
    ASSERT_TRUE(noBus.has_value());
    EXPECT_NE(noBus->domain, kServiceErrorDomain);
}

}  // namespace
}  // namespace mavu::services
