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

TEST(SystemdUnitService, StatusIsTheUnitFileStateAndFailuresSayWhatTheSystemSaid) {
    testing::SystemdMock mock;
    mock.reset();
    testing::VirtualDispatch dispatch;
    LinuxServiceManagement management{dispatch};
    // The daemon's unit, reached through the name the app knows it by.
    const auto service = management.daemonService(protocol::kServicePlistName);
    EXPECT_EQ(service->status(), kStatusNotRegistered);
    mock.setState("");
    EXPECT_EQ(service->status(), kStatusNotFound);
    mock.setState("disabled");
    EXPECT_EQ(describe(service->registerService()), "success");
    EXPECT_EQ(service->status(), kStatusEnabled);
    std::vector<std::string> results;
    service->unregisterService([&](std::optional<ServiceError> error) {
        EXPECT_TRUE(dispatch.mainQueue().isCurrent());
        results.push_back(describe(error));
    });
    EXPECT_EQ(service->status(), kStatusEnabled);  // not on the caller's turn
    dispatch.runUntilIdle();
    EXPECT_EQ(results, std::vector<std::string>{"success"});
    EXPECT_EQ(service->status(), kStatusNotRegistered);

    // A polkit refusal asks for approval until an administrator enables the unit; any other
    // failure keeps the bus's error and needs no approval.
    for (const char* refusal : {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                                "org.freedesktop.DBus.Error.AccessDenied"}) {
        mock.reset();
        mock.fail("EnableUnitFiles", "asbb", "ba(sss)", refusal,
                  "Interactive authentication required.");
        EXPECT_EQ(describe(service->registerService()),
                  "SMAppServiceErrorDomain: Interactive authentication required.");
        EXPECT_EQ(service->status(), kStatusRequiresApproval);
        mock.setState("enabled");
        EXPECT_EQ(service->status(), kStatusEnabled);
        mock.setState("disabled");
        EXPECT_EQ(service->status(), kStatusNotRegistered);
    }
    mock.fail("EnableUnitFiles", "asbb", "ba(sss)", "org.freedesktop.systemd1.UnitMasked",
              "Unit is masked.");
    EXPECT_EQ(describe(service->registerService()),
              "org.freedesktop.systemd1.UnitMasked: Unit is masked.");
    EXPECT_EQ(service->status(), kStatusNotRegistered);
    mock.fail("GetUnitFileState", "s", "s", "org.freedesktop.systemd1.NoSuchUnit",
              "Unit not found.");
    EXPECT_EQ(service->status(), kStatusNotFound);

    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    EXPECT_EQ(service->status(), kStatusUnknown);
    const auto noBus = service->registerService();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", mock.address().c_str(), 1);
    ASSERT_TRUE(noBus.has_value());
    EXPECT_NE(noBus->domain, kServiceErrorDomain);
}

}  // namespace
}  // namespace mavu::services
