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
class LoginItemTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    testing::TempDir config_;
    testing::VirtualDispatch dispatch_;
    std::shared_ptr<services::ServiceManagement> services_ =
        std::make_shared<services::LinuxServiceManagement>(dispatch_);
    testing::LogCapture log_;
};

TEST_F(LoginItemTest, SwitchesAnAutostartEntryForThisProgram) {
    LaunchAtLoginManager manager(services_);
    EXPECT_FALSE(manager.isEnabled());
    manager.setEnabled(true);
    EXPECT_TRUE(manager.isEnabled());
    EXPECT_TRUE(LaunchAtLoginManager(services_).isEnabled());  // as at the next launch
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_NE(config_.read("autostart/mavu.desktop")
                  .find("\nExec=" + services::desktopExecValue(self) + "\n"),
              std::string::npos);
    // Written through a temporary file, which is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config_.path("autostart")), {}), 1);

    config_.write("autostart/mavu.desktop", "[Desktop Entry]\nHidden = true\n");
    manager.refresh();
    EXPECT_FALSE(manager.isEnabled());

    manager.setEnabled(true);
    manager.setEnabled(false);
    EXPECT_FALSE(manager.isEnabled());
    EXPECT_FALSE(config_.exists("autostart/mavu.desktop"));
    EXPECT_TRUE(log_.lines().empty());
    EXPECT_EQ(services::desktopExecValue("/opt/My Apps/100%"), "\"/opt/My Apps/100%%\"");
}

TEST_F(LoginItemTest, RemovingAnAbsentEntryIsAnErrorThatIsLogged) {
    const auto error = services_->mainAppService()->unregisterService();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, services::kServiceErrorDomain);

    LaunchAtLoginManager manager(services_);
    manager.setEnabled(false);
    EXPECT_EQ(log_.lines(),
              std::vector<std::string>{"MAVU login item error: " + error->localizedDescription});
    EXPECT_FALSE(manager.isEnabled());
    EXPECT_FALSE(manager.needsApproval());
}

}  // namespace
}  // namespace mavu::app
