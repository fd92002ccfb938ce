#pragma once

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/support/ChildProcess.h"

namespace mavu::testing {

// Starts python-dbusmock's template (one it ships, as "logind", or a file) on the system
// bus at address and waits until it owns name: its pid, or -1 when it did not come up.
inline pid_t startDbusMock(const std::string& address, const std::string& templateName,
                           const std::string& name) {
    const pid_t pid =
        startProcess("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", templateName},
                     -1, -1, -1, {{"DBUS_SYSTEM_BUS_ADDRESS", address}});
    if (eventually(
            [&] {
                return runProcess("busctl", {"--address=" + address, "status", name}).status == 0;
            },
            std::chrono::seconds(15))) {
        return pid;
    }
    endProcess(pid, SIGKILL);
    return -1;
}

// A dbus-daemon of the test's own with the session configuration (any name may be owned,
// none is activatable), standing in for the system bus while it lives:
// DBUS_SYSTEM_BUS_ADDRESS points at it. A child of the test, so it dies with it.
class TestSystemBus {
  public:
    TestSystemBus() {
        if (auto line = daemon_.readLine(std::chrono::seconds(10))) {
            address_ = *line;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    }
    ~TestSystemBus() { stop(); }
    TestSystemBus(const TestSystemBus&) = delete;
    TestSystemBus& operator=(const TestSystemBus&) = delete;

    // Empty when the daemon did not come up.
    const std::string& address() const { return address_; }

    // Ends the bus, as a crashed or restarted bus would end.
    void stop() {
        if (daemon_.pid() > 0) {
            kill(daemon_.pid(), SIGTERM);
            daemon_.finish(std::chrono::seconds(5));
        }
    }

  private:
    TalkingProcess daemon_{"dbus-daemon", {"--session", "--nofork", "--print-address=1"}};
    std::string address_;
};

}  // namespace mavu::testing
