#include "platform/notify/FreedesktopNotifier.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/dispatch/RealDispatch.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSystemBus.h"

namespace mavu::notify {
namespace {

using testing::eventually;

// Each post is a new silent notification and never waits; a missing server costs one
// log line.
TEST(FreedesktopNotifierBackend, PostsNewSilentNotificationsAndNeverWaits) {
    testing::TestSystemBus bus;  // the session bus too
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    testing::LogCapture failures;
    dispatch::RealDispatch dispatch;
    auto notifier = std::make_unique<FreedesktopNotifier>(dispatch);
    notifier->post({"MAVU", "nobody listens"});
    ASSERT_TRUE(eventually([&] { return !failures.lines().empty(); }));
    EXPECT_EQ(failures.lines()[0].rfind("MAVU notification not shown: ", 0), 0u);

    // A notification server played by python-dbusmock, which logs every call it takes.
    testing::TempDir folder;
    const auto log = folder.path("calls.log");
    const pid_t server = testing::startProcess(
        "/usr/bin/python3", {"-m", "dbusmock", "--template", "notification_daemon", "-l", log});
    ASSERT_TRUE(eventually([&] {
        return testing::runProcess("dbus-send", {"--session", "--print-reply",
                                                 "--dest=org.freedesktop.Notifications",
                                                 "/org/freedesktop/Notifications",
                                                 "org.freedesktop.Notifications.GetCapabilities"})
                   .status == 0;
    }));
    const auto start = std::chrono::steady_clock::now();
    notifier->post({"MAVU", "Battery at 5% & <falling>"});
    notifier->post({"MAVU", "MAVU's Keep Awake timer ended; the Mac now sleeps normally."});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    // replaces_id 0: a new notification each time. The server renders body markup, so the
    // message's own "&" and "<" are escaped.
    const auto notify = [](const std::string& body) {
        return " Notify \"MAVU\" 0 \"\" \"MAVU\" \"" + body +
               "\" [] {\"suppress-sound\": True} -1\n";
    };
    const std::string second =
        notify("MAVU's Keep Awake timer ended; the Mac now sleeps normally.");
    EXPECT_TRUE(eventually([&] {
        return folder.read("calls.log").find(second) != std::string::npos;
    })) << folder.read("calls.log");
    EXPECT_NE(folder.read("calls.log").find(notify("Battery at 5% &amp; &lt;falling&gt;")),
              std::string::npos);
    notifier.reset();                        // lets the call in flight end
    EXPECT_EQ(failures.lines().size(), 1u);  // both calls were answered
    testing::endProcess(server);
}

}  // namespace
}  // namespace mavu::notify
