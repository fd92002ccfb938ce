#include "platform/notify/FreedesktopNotifier.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <sstream>

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

// dbus-monitor's text, one entry per message: its header line and its arguments with
// whitespace collapsed ("variant boolean true").
struct Message {
    std::string header;
    std::string args;
};

// Runs of whitespace as one space.
std::string collapse(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
        if (!space || out.empty() || out.back() != ' ') {
            out += space ? ' ' : c;
        }
    }
    return out;
}

std::vector<Message> readMonitor(const std::filesystem::path& file) {
    std::istringstream in(testing::readFile(file));
    std::vector<Message> messages;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != ' ') {
            messages.push_back({line + " ", ""});
        } else if (!messages.empty()) {
            messages.back().args = collapse(messages.back().args + " " + line + " ");
        }
    }
    return messages;
}

std::string field(const std::string& header, const std::string& name) {
    const auto at = header.find(" " + name + "=");
    if (at == std::string::npos) {
        return "";
    }
    const auto begin = at + name.size() + 2;
    return header.substr(begin, header.find_first_of(" ;", begin) - begin);
}

// Each Notify call with the id the server answered it with.
std::vector<std::pair<std::string, std::string>> notifyCalls(const std::filesystem::path& monitor) {
    const auto messages = readMonitor(monitor);
    std::vector<std::pair<std::string, std::string>> calls;
    for (const auto& call : messages) {
        if (call.header.rfind("method call", 0) != 0 || field(call.header, "member") != "Notify") {
            continue;
        }
        for (const auto& reply : messages) {
            if (reply.header.rfind("method return", 0) == 0 &&
                field(reply.header, "destination") == field(call.header, "sender") &&
                field(reply.header, "reply_serial") == field(call.header, "serial")) {
                calls.emplace_back(call.args, reply.args);
            }
        }
    }
    return calls;
}

TEST(FreedesktopNotifierBackend, EachPostIsANewSilentNotificationAndNeverWaits) {
    testing::PrivateBus bus;
    testing::XvfbServer x;
    ASSERT_FALSE(x.display().empty());
    Child server{testing::startProcess("/usr/lib/notification-daemon/notification-daemon", {}, -1,
                                       -1, -1, {{"DISPLAY", x.display()}})};
    // The monitor appends to a file of its own; the test reads it by name, so the two never
    // share a file offset.
    testing::TempDir folder;
    const auto monitorOut = folder.path("monitor.txt");
    const int monitorFd =
        ::open(monitorOut.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(monitorFd, 0);
    Child monitor{testing::startProcess("dbus-monitor", {"--session"}, monitorFd)};
    ::close(monitorFd);
    ASSERT_TRUE(eventually([&] { return !readMonitor(monitorOut).empty(); }));
    ASSERT_TRUE(eventually([&] {
        return testing::runProcess("dbus-send", {"--session", "--print-reply",
                                                 "--dest=org.freedesktop.Notifications",
                                                 "/org/freedesktop/Notifications",
                                                 "org.freedesktop.Notifications.GetCapabilities"})
                   .status == 0;
    }));

    dispatch::RealDispatch dispatch;
    FreedesktopNotifier notifier(dispatch);
    const auto start = std::chrono::steady_clock::now();
    notifier.post({"MAVU", "Battery at 5% & <falling>"});
    notifier.post({"MAVU", "MAVU's Keep Awake timer ended; the Mac now sleeps normally."});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

    ASSERT_TRUE(eventually([&] { return notifyCalls(monitorOut).size() == 2; }));
    const auto calls = notifyCalls(monitorOut);
    // The server renders body markup, so the message's own "&" and "<" are escaped.
    EXPECT_EQ(calls[0].first,
              " string \"MAVU\" uint32 0 string \"\" string \"MAVU\" string \"Battery at 5% &amp; "
              "&lt;falling&gt;\" array [ ] array [ dict entry( string \"suppress-sound\" variant "
              "boolean true ) ] int32 -1 ");
    EXPECT_NE(calls[1].first.find("string \"MAVU's Keep Awake timer ended; the Mac now sleeps "
                                  "normally.\""),
              std::string::npos);
    EXPECT_NE(calls[0].second, calls[1].second);  // two notifications, not one replaced
    EXPECT_EQ(calls[0].second.rfind(" uint32 ", 0), 0u);
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
