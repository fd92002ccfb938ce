#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/hardware/LinuxPowerRegistry.h"
#include "tests/support/TempTree.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::hardware {
namespace {

constexpr char kLidState[] = "proc/acpi/button/lid/LID0/state";

std::optional<RegistryValue> clamshell(LinuxPowerRegistry& registry, RegistryObject root) {
    return registry.readProperty(root, kClamshellStateKey);
}

TEST(AcpiLid, ReadsTheStateAfreshAndGarbageAsAbsent) {
    testing::TempTree tree;
    tree.write(kLidState, "state:      open\n");
    LinuxPowerRegistry registry(tree.root());
    const RegistryObject root = registry.findService(kRootPowerDomain);
    ASSERT_NE(root, 0u);
    for (const auto& [text, expected] : std::vector<std::pair<const char*, std::optional<bool>>>{
             {"state:      open\n", false},
             {"state:      closed\n", true},
             {"state:      ajar\n", std::nullopt},
             {"closed\n", std::nullopt},
             {"", std::nullopt}}) {
        tree.write(kLidState, text);
        const auto value = clamshell(registry, root);
        EXPECT_EQ(value ? std::optional(std::get<bool>(*value)) : std::nullopt, expected) << text;
    }
    EXPECT_EQ(registry.readProperty(root, "SomethingElse"), std::nullopt);
    registry.release(root);
    EXPECT_EQ(clamshell(registry, root), std::nullopt);
    // An unreadable state still means the machine has a lid.
    EXPECT_NE(registry.findService(kRootPowerDomain), 0u);
}

TEST(AcpiLid, NoLidMeansNoRootDomain) {
    testing::TempTree tree;
    LinuxPowerRegistry registry(tree.root());
    EXPECT_EQ(registry.findService(kRootPowerDomain), 0u);
    std::filesystem::create_directories(tree.path("proc/acpi/button/lid/LID0"));
    EXPECT_EQ(registry.findService(kRootPowerDomain), 0u);
    tree.write(kLidState, "state:      open\n");
    EXPECT_EQ(registry.findService("IOPMPowerSource"), 0u);
}

TEST(AcpiLid, HasNoChangeSignalSoRegistrationFails) {
    testing::TempTree tree;
    tree.write(kLidState, "state:      open\n");
    // An input device without a lid switch (here: not a device at all) is passed over.
    tree.write("dev/input/event0", "");
    testing::VirtualDispatch dispatch;
    LinuxPowerRegistry registry(tree.root());
    const RegistryObject root = registry.findService(kRootPowerDomain);
    ASSERT_NE(root, 0u);
    auto port = registry.createNotificationPort(dispatch.mainQueue());
    ASSERT_NE(port, nullptr);
    RegistryObject notifier = 0;
    EXPECT_EQ(registry.addInterestNotification(
                  *port, root, kGeneralInterest, [] {}, notifier),
              LinuxPowerRegistry::kNoChangeSignal);
    EXPECT_EQ(notifier, 0u);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    EXPECT_EQ(clamshell(registry, root), RegistryValue(false));
}

// The input-device path with a FIFO standing in for the device node: the probe that
// would ask the kernel is replaced, everything else (discovery, draining, the watch,
// a vanished device) is the real code.
class EvdevLid : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(tree.path("dev/input"));
        tree.write("dev/input/event0", "");  // a device without a lid switch
        ASSERT_EQ(mkfifo(tree.path("dev/input/event1").c_str(), 0600), 0);
        writer = ::open(tree.path("dev/input/event1").c_str(), O_RDWR | O_NONBLOCK);
        ASSERT_GE(writer, 0);
        tree.write(kLidState, "state:      open\n");  // must lose against the device
    }
    void TearDown() override {
        if (writer >= 0) {
            ::close(writer);
        }
    }
    EvdevLidProbe probe() {
        return [this](int fd) -> std::optional<bool> {
            struct stat info {};
            if (fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) {
                return std::nullopt;
            }
            deviceFd = fd;
            return lidClosed;
        };
    }
    void sendEvents(int count) {
        std::vector<input_event> events(count);
        ASSERT_EQ(::write(writer, events.data(), sizeof(input_event) * count),
                  static_cast<ssize_t>(sizeof(input_event) * count));
    }
    int unreadBytes() {
        int pending = -1;
        ioctl(writer, FIONREAD, &pending);
        return pending;
    }

    testing::TempTree tree;
    testing::VirtualDispatch dispatch;
    int writer = -1;
    int deviceFd = -1;
    bool lidClosed = false;
};

TEST_F(EvdevLid, StateComesFromTheDeviceAndEventsNotifyAfterDraining) {
    LinuxPowerRegistry registry(tree.root(), probe());
    const RegistryObject root = registry.findService(kRootPowerDomain);
    ASSERT_NE(root, 0u);
    ASSERT_GE(deviceFd, 0);
    lidClosed = true;
    EXPECT_EQ(clamshell(registry, root), RegistryValue(true));

    auto port = registry.createNotificationPort(dispatch.mainQueue());
    int notifications = 0;
    RegistryObject notifier = 0;
    ASSERT_EQ(registry.addInterestNotification(
                  *port, root, kGeneralInterest, [&] { ++notifications; }, notifier),
              0);
    EXPECT_NE(notifier, 0u);
    EXPECT_EQ(dispatch.readableWatchCount(), 1u);
    RegistryObject other = 0;
    EXPECT_NE(registry.addInterestNotification(
                  *port, root, "IOBusyInterest", [] {}, other),
              0);

    sendEvents(3);
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(unreadBytes(), 0);

    registry.release(notifier);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    registry.release(root);
}

TEST_F(EvdevLid, AVanishedDeviceNotifiesOnceAndIsNoLongerWatched) {
    LinuxPowerRegistry registry(tree.root(), probe());
    const RegistryObject root = registry.findService(kRootPowerDomain);
    ASSERT_NE(root, 0u);
    auto port = registry.createNotificationPort(dispatch.mainQueue());
    int notifications = 0;
    RegistryObject notifier = 0;
    ASSERT_EQ(registry.addInterestNotification(
                  *port, root, kGeneralInterest, [&] { ++notifications; }, notifier),
              0);
    ::close(writer);
    writer = -1;
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    // Releasing after the port is gone, in either order, is harmless.
    port.reset();
    registry.release(notifier);
    registry.release(root);
}

}  // namespace
}  // namespace mavu::hardware
