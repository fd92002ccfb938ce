#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "platform/services/LoginItemsSettings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::services {
namespace {

using Command = std::vector<std::string>;

class LoginItemsSettingsTest : public ::testing::Test {
  protected:
    void install(const std::string& name, const std::string& script = "") {
        dir_.writeScript(name, script);
    }
    testing::TempDir dir_;
    const std::filesystem::path& bin_ = dir_.path();
};

TEST_F(LoginItemsSettingsTest, PrefersTheRunningDesktopsToolThenAnyToolThenTheFolder) {
    const auto command = [&](const char* desktop) {
        return loginItemsCommand(bin_.string(), desktop, "/autostart");
    };
    EXPECT_EQ(command("GNOME"), Command{});
    install("xdg-open");
    EXPECT_EQ(command("GNOME"), (Command{bin_ / "xdg-open", "/autostart"}));
    install("kcmshell6");
    install("gnome-session-properties");
    EXPECT_EQ(command("KDE"), (Command{bin_ / "kcmshell6", "kcm_autostart"}));
    EXPECT_EQ(command("ubuntu:GNOME"), Command{bin_ / "gnome-session-properties"});
}

TEST_F(LoginItemsSettingsTest, StartsTheProgramWithoutWaitingForIt) {
    const auto out = bin_ / "opened";
    // Keeps running, under the same pid, until the test stops it.
    install("xdg-open", "echo $$ $1 > " + out.string() + ".new && /bin/mv " + out.string() +
                            ".new " + out.string() + " && exec /bin/sleep 30\n");
    const std::string path = ::getenv("PATH");
    ::setenv("PATH", bin_.c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    openLoginItemsSettings(bin_ / "autostart");
    const auto returnedAfter = std::chrono::steady_clock::now() - started;
    ::setenv("PATH", path.c_str(), 1);

    testing::eventually([&] { return std::filesystem::exists(out); });
    pid_t pid = 0;
    std::string opened;
    std::ifstream(out) >> pid >> opened;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::getsid(pid), pid);  // a session of its own
    ::kill(pid, SIGTERM);
    EXPECT_LT(returnedAfter, std::chrono::seconds(2));
    EXPECT_EQ(opened, (bin_ / "autostart").string());
}

}  // namespace
}  // namespace mavu::services
