#include "platform/notify/FreedesktopNotifier.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/dispatch/RealDispatch.h"
#include "tests/client/PrivateBus.h"
#include "tests/hotkey/XvfbServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace mavu::notify {
namespace {

using testing::eventually;

struct Child {
    pid_t pid;
    ~Child() { testing::endProcess(pid); }
};

// What dbus-monitor wrote, with every run of whitespace as one space.
std::string monitored(const std::filesystem::path& file) {
    std::string text;
    for (const char c : testing::readFile(file)) {
        const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
        if (!space || text.empty() || text.back() != ' ') {
            text += space ? ' ' : c;
        }
    }
    return text;
}

std::string notifyArgs(const std::string& body) {
    return "member=Notify string \"MAVU\" uint32 0 string \"\" string \"MAVU\" string \"" + body +
           "\" array [ ] array [ dict entry( string \"suppress-sound\" variant boolean true ) ] "
           "int32 -1";
}

TEST(FreedesktopNotifierBackend, EachPostIsANewSilentNotificationAndNeverWaits) {
    testing::PrivateBus bus;
    testing::XvfbServer x;
    ASSERT_FALSE(x.display().empty());
    Child server{testing::startProcess("/usr/lib/notification-daemon/notification-daemon", {}, -1,
                                       -1, -1, {{"DISPLAY", x.display()}})};
    // The monitor appends to a file the test reads by name: they share no file offset.
    testing::TempDir folder;
    const auto log = folder.path("monitor.txt");
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    Child monitor{testing::startProcess("dbus-monitor", {"--session"}, fd)};
    ::close(fd);
    ASSERT_TRUE(eventually([&] {
        return testing::runProcess("dbus-send", {"--session", "--print-reply",
                                                 "--dest=org.freedesktop.Notifications",
                                                 "/org/freedesktop/Notifications",
                                                 "org.freedesktop.Notifications.GetCapabilities"})
                       .status == 0 &&
               monitored(log).find("GetCapabilities") != std::string::npos;
    }));

    testing::LogCapture failures;
    dispatch::RealDispatch dispatch;
    auto notifier = std::make_unique<FreedesktopNotifier>(dispatch);
    const auto start = std::chrono::steady_clock::now();
    notifier->post({"MAVU", "Battery at 5% & <falling>"});
    notifier->post({"MAVU", "MAVU's Keep Awake timer ended; the Mac now sleeps normally."});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

    // replaces_id 0: a new notification each time. The server renders body markup, so the
    // message's own "&" and "<" are escaped.
    const std::string second =
        notifyArgs("MAVU's Keep Awake timer ended; the Mac now sleeps normally.");
    EXPECT_TRUE(eventually([&] { return monitored(log).find(second) != std::string::npos; }))
        << monitored(log);
    EXPECT_NE(monitored(log).find(notifyArgs("Battery at 5% &amp; &lt;falling&gt;")),
              std::string::npos);
    notifier.reset();                       // lets the call in flight end
    EXPECT_TRUE(failures.lines().empty());  // both calls were answered
}

TEST(FreedesktopNotifierBackend, AMissingServerCostsOneLogLine) {
    testing::PrivateBus bus;
    testing::LogCapture log;
    dispatch::RealDispatch dispatch;
    FreedesktopNotifier notifier(dispatch);
    notifier.post({"MAVU", "nobody listens"});
    ASSERT_TRUE(eventually([&] { return !log.lines().empty(); }));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("MAVU notification not shown: ", 0), 0u) << log.lines()[0];
}

}  // namespace
}  // namespace mavu::notify
