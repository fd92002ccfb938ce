#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/services/LoginItemsSettings.h"

namespace mavu::services {
namespace {

using Command = std::vector<std::string>;

class LoginItemsSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = "/tmp/mavu-settings-XXXXXX";
        bin_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(bin_); }
    void install(const std::string& name, const std::string& script = "") {
        std::ofstream(bin_ / name) << "#!/bin/sh\n" << script;
        std::filesystem::permissions(bin_ / name, std::filesystem::perms::owner_all);
    }
    std::filesystem::path bin_;
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

    while (!std::filesystem::exists(out) &&
           std::chrono::steady_clock::now() < started + std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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
