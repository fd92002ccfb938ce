#include <gtest/gtest.h>

#include <stdlib.h>

#include "app/system/LaunchAtLoginManager.h"
#include "platform/services/LinuxServiceManagement.h"
#include "platform/services/XdgAutostartService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::app {
namespace {

// The manager over the real login item, in a configuration folder of the test's own.
TEST(LoginItem, SwitchesAnAutostartEntryAndLogsWhatFails) {
    testing::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    testing::VirtualDispatch dispatch;
    const auto services = std::make_shared<services::LinuxServiceManagement>(dispatch);
    testing::LogCapture log;

    // Removing an absent entry is an error, logged, and the flags show the real state.
    LaunchAtLoginManager manager(services);
    manager.setEnabled(false);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("MAVU login item error: ", 0), 0u) << log.lines()[0];
    EXPECT_FALSE(manager.isEnabled());
    EXPECT_FALSE(manager.needsApproval());

    manager.setEnabled(true);
    EXPECT_TRUE(LaunchAtLoginManager(services).isEnabled());  // as at the next launch
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_NE(config.read("autostart/mavu.desktop")
                  .find("\nExec=" + services::desktopExecValue(self) + "\n"),
              std::string::npos);
    // Written through a temporary file, which is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config.path("autostart")), {}), 1);
    EXPECT_EQ(services::desktopExecValue("/opt/My Apps/100%"), "\"/opt/My Apps/100%%\"");

    config.write("autostart/mavu.desktop", "[Desktop Entry]\nHidden = true\n");
    manager.refresh();
    EXPECT_FALSE(manager.isEnabled());
    manager.setEnabled(true);
    manager.setEnabled(false);
    EXPECT_FALSE(config.exists("autostart/mavu.desktop"));
    EXPECT_EQ(log.lines().size(), 1u);
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace mavu::app
