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

struct LidRegistry : ::testing::Test {
    std::optional<bool> clamshell() {
        const auto value = registry->readProperty(root, kClamshellStateKey);
        return value ? std::optional(std::get<bool>(*value)) : std::nullopt;
    }
    // Finds the root domain and registers for its notifications, which count up.
    int subscribe(RegistryObject& notifier) {
        root = registry->findService(kRootPowerDomain);
        port = registry->createNotificationPort(dispatch.mainQueue());
        return registry->addInterestNotification(
            *port, root, kGeneralInterest, [this] { ++notifications; }, notifier);
    }

    testing::TempDir tree;
    testing::VirtualDispatch dispatch;
    std::unique_ptr<LinuxPowerRegistry> registry =
        std::make_unique<LinuxPowerRegistry>(tree.path());
    RegistryObject root = 0, notifier = 0;
    std::unique_ptr<RegistryNotificationPort> port;
    int notifications = 0;
};

// The ACPI button (no change signal: the daemon polls it) is the daemon's system tests'.
// Here a FIFO stands in for an input device node and the probe that would ask the kernel
// is replaced; discovery, draining, the watch and a vanished device are the real code.
TEST_F(LidRegistry, EvdevStateComesFromTheDeviceAndEventsNotifyAfterDraining) {
    EXPECT_EQ(registry->findService(kRootPowerDomain), 0u);  // no lid
    tree.write("dev/input/event0", "");                      // a device without a lid switch
    ASSERT_EQ(mkfifo(tree.path("dev/input/event1").c_str(), 0600), 0);
    const int writer = ::open(tree.path("dev/input/event1").c_str(), O_RDWR | O_NONBLOCK);
    tree.write("proc/acpi/button/lid/LID0/state", "state:      open\n");  // loses to the device
    int deviceFd = -1;
    registry = std::make_unique<LinuxPowerRegistry>(tree.path(), [&](int fd) {
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) {
            return std::optional<bool>();
        }
        deviceFd = fd;
        return std::optional(true);
    });
    EXPECT_EQ(subscribe(notifier), 0);
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
    // Releasing after the port is gone is harmless.
    port.reset();
    registry->release(notifier);
    registry->release(root);
    EXPECT_EQ(clamshell(), std::nullopt);
}

}  // namespace
}  // namespace mavu::hardware
