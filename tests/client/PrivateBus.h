#pragma once

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace mavu::testing {

// A dbus-daemon of the test's own, standing in for the system bus while it lives
// (DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS point at it). It has no activatable
// services, so a name nobody owns is unknown.
class PrivateBus {
  public:
    PrivateBus() {
        FILE* out = popen(
            "dbus-daemon --session --fork --print-address=1 --print-pid=1 "
            "2>/dev/null",
            "r");
        char address[512] = {};
        if (!out || std::fscanf(out, "%511s %d", address, &pid_) != 2) {
            throw std::runtime_error("cannot start dbus-daemon");
        }
        pclose(out);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address, 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
    }
    ~PrivateBus() { stop(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Ends the bus, as a crashed or restarted bus would end.
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
};

}  // namespace mavu::testing
