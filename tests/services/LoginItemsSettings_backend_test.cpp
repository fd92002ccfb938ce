#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <fstream>

#include "platform/services/LoginItemsSettings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::services {
namespace {

using Command = std::vector<std::string>;

TEST(LoginItemsSettings, TheRunningDesktopsToolThenAnyToolThenTheFolderStartedUnwaited) {
    testing::TempDir bin;
    const auto command = [&](const char* desktop) {
        return loginItemsCommand(bin.path().string(), desktop, "/autostart");
    };
    EXPECT_EQ(command("GNOME"), Command{});
    // Keeps running, under the same pid, until the test stops it.
    const auto out = bin.path("opened");
    bin.writeScript("xdg-open", "echo $$ $1 > " + out.string() + ".new && /bin/mv " + out.string() +
                                    ".new " + out.string() + " && exec /bin/sleep 30\n");
    EXPECT_EQ(command("GNOME"), (Command{bin.path("xdg-open"), "/autostart"}));
    const std::string path = ::getenv("PATH");
    ::setenv("PATH", bin.path().c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    openLoginItemsSettings(bin.path("autostart"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(testing::eventually([&] { return std::filesystem::exists(out); }));
    pid_t pid = 0;
    std::string opened;
    std::ifstream(out) >> pid >> opened;
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(opened, bin.path("autostart").string());

    bin.writeScript("kcmshell6", "");
    bin.writeScript("gnome-session-properties", "");
    EXPECT_EQ(command("KDE"), (Command{bin.path("kcmshell6"), "kcm_autostart"}));
    EXPECT_EQ(command("ubuntu:GNOME"), Command{bin.path("gnome-session-properties")});
}

}  // namespace
}  // namespace mavu::services
