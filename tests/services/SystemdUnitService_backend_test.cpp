#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/services/LinuxServiceManagement.h"
#include "protocol/HelperProtocol.h"
#include "tests/support/TestSystemBus.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::services {
namespace {

std::string describe(const std::optional<ServiceError>& error) {
    return error ? error->domain + ": " + error->localizedDescription : "success";
}

// On a private system bus, systemd's manager played by the project's stand-in, which
// knows the daemon's unit and starts with it disabled.
TEST(SystemdUnitService, StatusIsTheUnitFileStateAndFailuresSayWhatTheSystemSaid) {
    testing::TestSystemBus bus;
    ASSERT_GT(testing::startDbusMock(bus.address(), MAVU_STAND_INS "/systemd_units.py",
                                     "org.freedesktop.systemd1"),
              0);
    const auto connection = sdbus::createSystemBusConnection();
    const auto systemd =
        sdbus::createProxy(*connection, "org.freedesktop.systemd1", "/org/freedesktop/systemd1");
    const std::string manager = "org.freedesktop.systemd1.Manager";
    // method (of signature in -> out) runs code in the stand-in.
    const auto replace = [&](const std::string& method, const std::string& in,
                             const std::string& out, const std::string& code) {
        systemd->callMethod("AddMethod")
            .onInterface("org.freedesktop.DBus.Mock")
            .withArguments(manager, method, in, out, code);
    };
    const auto fail = [&](const std::string& method, const std::string& in, const std::string& out,
                          const std::string& error) {
        replace(method, in, out,
                "raise dbus.exceptions.DBusException('Refused.', name='" + error + "')");
    };
    replace("SetState", "s", "", "self.unit_files = dict.fromkeys(self.bus_names, args[0])");
    const auto setState = [&](const std::string& state) {
        systemd->callMethod("SetState").onInterface(manager).withArguments(state);
    };

    testing::VirtualDispatch dispatch;
    LinuxServiceManagement management{dispatch};
    // The daemon's unit, reached through the name the app knows it by.
    const auto service = management.daemonService(protocol::kServicePlistName);
    EXPECT_EQ(service->status(), kStatusNotRegistered);
    EXPECT_EQ(describe(service->registerService()), "success");
    EXPECT_EQ(service->status(), kStatusEnabled);
    std::string unregistered;
    service->unregisterService([&](std::optional<ServiceError> error) {
        EXPECT_TRUE(dispatch.mainQueue().isCurrent());
        unregistered = describe(error);
    });
    EXPECT_EQ(service->status(), kStatusEnabled);  // not on the caller's turn
    dispatch.runUntilIdle();
    EXPECT_EQ(unregistered, "success");
    EXPECT_EQ(service->status(), kStatusNotRegistered);

    // A polkit refusal asks for approval until an administrator enables the unit; any other
    // failure keeps the bus's error and needs no approval.
    for (const char* refusal : {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                                "org.freedesktop.DBus.Error.AccessDenied"}) {
        fail("EnableUnitFiles", "asbb", "ba(sss)", refusal);
        EXPECT_EQ(describe(service->registerService()), "SMAppServiceErrorDomain: Refused.");
        EXPECT_EQ(service->status(), kStatusRequiresApproval);
        setState("enabled");
        EXPECT_EQ(service->status(), kStatusEnabled);
        setState("disabled");
        EXPECT_EQ(service->status(), kStatusNotRegistered);
    }
    fail("EnableUnitFiles", "asbb", "ba(sss)", "org.freedesktop.systemd1.UnitMasked");
    EXPECT_EQ(describe(service->registerService()),
              "org.freedesktop.systemd1.UnitMasked: Refused.");
    EXPECT_EQ(service->status(), kStatusNotRegistered);
    for (const char* unknown :
         {"org.freedesktop.systemd1.NoSuchUnit", "org.freedesktop.DBus.Error.FileNotFound"}) {
        fail("GetUnitFileState", "s", "s", unknown);
        EXPECT_EQ(service->status(), kStatusNotFound);
    }
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    EXPECT_EQ(service->status(), kStatusUnknown);
    const auto noBus = service->registerService();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    EXPECT_TRUE(noBus && noBus->domain != kServiceErrorDomain) << describe(noBus);
}

}  // namespace
}  // namespace mavu::services
