#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "tests/support/TestSystemBus.h"

namespace mavu::testing {

// A private bus standing in for the system bus (DBUS_SYSTEM_BUS_ADDRESS points at it)
// with systemd's manager played by the project's stand-in for python-dbusmock: the
// daemon's unit file, "disabled" after reset(), none after setState("").
class SystemdMock {
  public:
    SystemdMock()
        : pid_(startProcess("/usr/bin/python3",
                            {"-m", "dbusmock", "--template", MAVU_STAND_INS "/systemd_units.py"})),
          connection_(sdbus::createSystemBusConnection()),
          proxy_(sdbus::createProxy(*connection_, "org.freedesktop.systemd1",
                                    "/org/freedesktop/systemd1")) {
        // Bounded: the mock claims its name within a second or two. If it never does,
        // every test fails in reset().
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            try {
                mock("ClearCalls");
                return;
            } catch (const sdbus::Error&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    ~SystemdMock() { endProcess(pid_); }

    void reset() {
        mock("Reset");
        mock("AddMethod", std::string(kManager), std::string("SetState"), std::string("s"),
             std::string(""),
             std::string(
                 "self.unit_files = dict.fromkeys(self.bus_names, args[0]) if args[0] else {}"));
    }
    void setState(const std::string& state) {
        proxy_->callMethod("SetState").onInterface(kManager).withArguments(state);
    }
    // method (of signature in -> out) fails with the bus error and text given.
    void fail(const std::string& method, const std::string& in, const std::string& out,
              const std::string& error, const std::string& text) {
        mock("AddMethod", std::string(kManager), method, in, out,
             "raise dbus.exceptions.DBusException('" + text + "', name='" + error + "')");
    }
    const std::string& address() const { return bus_.address(); }

  private:
    static constexpr char kManager[] = "org.freedesktop.systemd1.Manager";
    static constexpr char kMock[] = "org.freedesktop.DBus.Mock";

    template <class... Args>
    void mock(const std::string& method, const Args&... args) {
        proxy_->callMethod(method).onInterface(kMock).withArguments(args...);
    }

    TestSystemBus bus_;  // first made, last gone
    pid_t pid_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace mavu::testing
