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

class LidRegistry : public ::testing::Test {
  protected:
    std::optional<RegistryValue> clamshell(RegistryObject root) {
        return registry->readProperty(root, kClamshellStateKey);
    }
    // Finds the root domain and registers for its notifications, which count up.
    RegistryObject subscribe(int expectedResult = 0) {
        root = registry->findService(kRootPowerDomain);
        EXPECT_NE(root, 0u);
        port = registry->createNotificationPort(dispatch.mainQueue());
        EXPECT_NE(port, nullptr);
        RegistryObject notifier = 0;
        EXPECT_EQ(registry->addInterestNotification(
                      *port, root, kGeneralInterest, [this] { ++notifications; }, notifier),
                  expectedResult);
        return notifier;
    }

    testing::TempDir tree;
    testing::VirtualDispatch dispatch;
    std::unique_ptr<LinuxPowerRegistry> registry =
        std::make_unique<LinuxPowerRegistry>(tree.root());
    RegistryObject root = 0;
    std::unique_ptr<RegistryNotificationPort> port;
    int notifications = 0;
};

TEST_F(LidRegistry, AcpiLidIsReadAfreshAndGarbageAsAbsent) {
    tree.write(kLidState, "state:      open\n");
    root = registry->findService(kRootPowerDomain);
    ASSERT_NE(root, 0u);
    for (const auto& [text, expected] : std::vector<std::pair<const char*, std::optional<bool>>>{
             {"state:      open\n", false},
             {"state:      closed\n", true},
             {"state:      ajar\n", std::nullopt},
             {"closed\n", std::nullopt},
             {"", std::nullopt}}) {
        tree.write(kLidState, text);
        const auto value = clamshell(root);
        EXPECT_EQ(value ? std::optional(std::get<bool>(*value)) : std::nullopt, expected) << text;
    }
    EXPECT_EQ(registry->readProperty(root, "SomethingElse"), std::nullopt);
    registry->release(root);
    EXPECT_EQ(clamshell(root), std::nullopt);
    // An unreadable state still means the machine has a lid.
    EXPECT_NE(registry->findService(kRootPowerDomain), 0u);
}

TEST_F(LidRegistry, NoLidMeansNoRootDomain) {
    EXPECT_EQ(registry->findService(kRootPowerDomain), 0u);
    std::filesystem::create_directories(tree.path("proc/acpi/button/lid/LID0"));
    EXPECT_EQ(registry->findService(kRootPowerDomain), 0u);
    tree.write(kLidState, "state:      open\n");
    EXPECT_EQ(registry->findService("IOPMPowerSource"), 0u);
}

TEST_F(LidRegistry, AcpiLidHasNoChangeSignalSoRegistrationFails) {
    tree.write(kLidState, "state:      open\n");
    // An input device without a lid switch (here: not a device at all) is passed over.
    tree.write("dev/input/event0", "");
    EXPECT_EQ(subscribe(LinuxPowerRegistry::kNoChangeSignal), 0u);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    EXPECT_EQ(clamshell(root), RegistryValue(false));
}

// The input-device path with a FIFO standing in for the device node: the probe that
// would ask the kernel is replaced, everything else (discovery, draining, the watch,
// a vanished device) is the real code.
class EvdevLid : public LidRegistry {
  protected:
    void SetUp() override {
        tree.write("dev/input/event0", "");  // a device without a lid switch
        ASSERT_EQ(mkfifo(tree.path("dev/input/event1").c_str(), 0600), 0);
        writer = ::open(tree.path("dev/input/event1").c_str(), O_RDWR | O_NONBLOCK);
        ASSERT_GE(writer, 0);
        tree.write(kLidState, "state:      open\n");  // must lose against the device
        registry = std::make_unique<LinuxPowerRegistry>(tree.root(), [this](int fd) {
            struct stat info {};
            if (fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) {
                return std::optional<bool>();
            }
            deviceFd = fd;
            return std::optional(lidClosed);
        });
    }
    void TearDown() override {
        if (writer >= 0) {
            ::close(writer);
        }
    }

    int writer = -1;
    int deviceFd = -1;
    bool lidClosed = false;
};

TEST_F(EvdevLid, StateComesFromTheDeviceAndEventsNotifyAfterDraining) {
    const RegistryObject notifier = subscribe();
    EXPECT_NE(notifier, 0u);
    ASSERT_GE(deviceFd, 0);
    lidClosed = true;
    EXPECT_EQ(clamshell(root), RegistryValue(true));
    EXPECT_EQ(dispatch.readableWatchCount(), 1u);
    RegistryObject other = 0;
    EXPECT_NE(registry->addInterestNotification(
                  *port, root, "IOBusyInterest", [] {}, other),
              0);

    std::vector<input_event> events(3);
    const auto size = static_cast<ssize_t>(sizeof(input_event) * events.size());
    ASSERT_EQ(::write(writer, events.data(), size), size);
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    int unread = -1;
    ioctl(writer, FIONREAD, &unread);
    EXPECT_EQ(unread, 0);

    registry->release(notifier);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    registry->release(root);
}

TEST_F(EvdevLid, AVanishedDeviceNotifiesOnceAndIsNoLongerWatched) {
    const RegistryObject notifier = subscribe();
    ::close(std::exchange(writer, -1));
    dispatch.signalReadable(deviceFd);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(dispatch.readableWatchCount(), 0u);
    // Releasing after the port is gone, in either order, is harmless.
    port.reset();
    registry->release(notifier);
    registry->release(root);
}

}  // namespace
}  // namespace mavu::hardware
