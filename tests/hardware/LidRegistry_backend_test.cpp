#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/hardware/LinuxPowerRegistry.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::hardware {
namespace {

constexpr char kLidState[] = "proc/acpi/button/lid/LID0/state";

struct LidRegistry : ::testing::Test {
    std::optional<bool> clamshell() {
        const auto value = registry->readProperty(root, kClamshellStateKey);
        return value ? std::optional(std::get<bool>(*value)) : std::nullopt;
    }
    // Finds the root domain and registers for its notifications, which count up.
    int subscribe(RegistryObject& notifier) {
        root = registry->findService(kRootPowerDomain);
        EXPECT_NE(root, 0u);
        port = registry->createNotificationPort(dispatch.mainQueue());
        return registry->addInterestNotification(
            *port, root, kGeneralInterest, [this] { ++notifications; }, notifier);
    }

    testing::TempDir tree;
    testing::VirtualDispatch dispatch;
    std::unique_ptr<LinuxPowerRegistry> registry =
        std::make_unique<LinuxPowerRegistry>(tree.root());
    RegistryObject root = 0;
    std::unique_ptr<RegistryNotificationPort> port;
    int notifications = 0;
};

// Reading the ACPI button's state is the daemon's system tests'; here: no lid means no
// root domain, and the button has no change signal.
TEST_F(LidRegistry, AcpiLidHasNoChangeSignalAndNoLidMeansNoRootDomain) {
    EXPECT_EQ(registry->findService(kRootPowerDomain), 0u);
    std::filesystem::create_directories(tree.path("proc/acpi/button/lid/LID0"));
    EXPECT_EQ(registry->findService(kRootPowerDomain), 0u);
    tree.write(kLidState, "state:      closed\n");
    EXPECT_EQ(registry->findService("IOPMPowerSource"), 0u);
    // An input device without a lid switch (here: not a device at all) is passed over.
    tree.write("dev/input/event0", "");
    RegistryObject notifier = 0;
    EXPECT_EQ(subscribe(notifier), LinuxPowerRegistry::kNoChangeSignal);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    EXPECT_EQ(clamshell(), true);
    EXPECT_EQ(registry->readProperty(root, "SomethingElse"), std::nullopt);
    registry->release(root);
    EXPECT_EQ(clamshell(), std::nullopt);
}

// The input-device path with a FIFO standing in for the device node: the probe that
// would ask the kernel is replaced, everything else (discovery, draining, the watch,
// a vanished device) is the real code.
TEST_F(LidRegistry, EvdevStateComesFromTheDeviceAndEventsNotifyAfterDraining) {
    tree.write("dev/input/event0", "");  // a device without a lid switch
    ASSERT_EQ(mkfifo(tree.path("dev/input/event1").c_str(), 0600), 0);
    int writer = ::open(tree.path("dev/input/event1").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    tree.write(kLidState, "state:      open\n");  // must lose against the device
    int deviceFd = -1;
    bool lidClosed = true;
    registry = std::make_unique<LinuxPowerRegistry>(tree.root(), [&](int fd) {
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) {
            return std::optional<bool>();
        }
        deviceFd = fd;
        return std::optional(lidClosed);
    });
    RegistryObject notifier = 0;
    EXPECT_EQ(subscribe(notifier), 0);
    ASSERT_GE(deviceFd, 0);
    EXPECT_EQ(clamshell(), true);
    EXPECT_EQ(dispatch.readableWatchCount(), 1u);

    std::vector<input_event> events(3);
    const auto size = static_cast<ssize_t>(sizeof(input_event) * events.size());
    ASSERT_EQ(::write(writer, events.data(), size), size);
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    int unread = -1;
    ioctl(writer, FIONREAD, &unread);
    EXPECT_EQ(unread, 0);

    // A second registration; the device vanishes: one notice, and no watch is left.
    registry->release(notifier);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    EXPECT_EQ(subscribe(notifier), 0);
    ::close(writer);
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    // Releasing after the port is gone, in either order, is harmless.
    port.reset();
    registry->release(notifier);
    registry->release(root);
}

}  // namespace
}  // namespace mavu::hardware
