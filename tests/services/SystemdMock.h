#pragma once

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "tests/support/TestSystemBus.h"

namespace mavu::testing {

// A private bus standing in for the system bus (DBUS_SYSTEM_BUS_ADDRESS points at it)
// with python-dbusmock playing systemd's manager. The unit file's state lives in the mock:
// "disabled" after reset(), none after setState(""); enable and disable change it.
class SystemdMock {
  public:
    SystemdMock()
        : mockPid_(startProcess("/usr/bin/python3",
                                {"-m", "dbusmock", "--system", "org.freedesktop.systemd1",
                                 "/org/freedesktop/systemd1", kManager})) {
        connection_ = sdbus::createSystemBusConnection();
        proxy_ = sdbus::createProxy(*connection_, "org.freedesktop.systemd1",
                                    "/org/freedesktop/systemd1");
        // Bounded: the mock claims its name within a second or two. If it never does,
        // every test fails in reset().
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            try {
                mock("ClearCalls");
                break;
            } catch (const sdbus::Error&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    ~SystemdMock() { endProcess(mockPid_); }

    void reset() {
        mock("ClearCalls");
        script("GetUnitFileState", "s", "s",
               "if not self.state: raise dbus.exceptions.DBusException('No such file or "
               "directory', name='org.freedesktop.DBus.Error.FileNotFound')\nret = self.state");
        script("EnableUnitFiles", "asbb", "ba(sss)", "self.state = 'enabled'; ret = (True, [])");
        script("DisableUnitFiles", "asb", "a(sss)", "self.state = 'disabled'; ret = []");
        script("StartUnit", "ss", "o", "ret = '/job/1'");
        script("StopUnit", "ss", "o", "ret = '/job/2'");
        script("Reload", "", "", "");
        script("SetState", "s", "", "self.state = args[0]");
        setState("disabled");
    }
    void setState(const std::string& state) {
        proxy_->callMethod("SetState").onInterface(kManager).withArguments(state);
    }
    void fail(const std::string& method, const std::string& error, const std::string& text) {
        const auto [in, out] = signatures_[method];
        script(method, in, out,
               "raise dbus.exceptions.DBusException('" + text + "', name='" + error + "')");
    }
    // The manager methods called since the last reset, in order.
    std::vector<std::string> calls() {
        std::vector<sdbus::Struct<std::uint64_t, std::string, std::vector<sdbus::Variant>>> log;
        proxy_->callMethod("GetCalls").onInterface(kMock).storeResultsTo(log);
        std::vector<std::string> names;
        for (const auto& call : log) {
            if (call.get<1>() != "SetState") {
                names.push_back(call.get<1>());
            }
        }
        return names;
    }
    const std::string& address() const { return bus_.address(); }

  private:
    static constexpr char kManager[] = "org.freedesktop.systemd1.Manager";
    static constexpr char kMock[] = "org.freedesktop.DBus.Mock";

    void script(const std::string& method, const std::string& in, const std::string& out,
                const std::string& code) {
        signatures_[method] = {in, out};
        mock("AddMethod", std::string(kManager), method, in, out, code);
    }
    template <class... Args>
    void mock(const std::string& method, const Args&... args) {
        proxy_->callMethod(method).onInterface(kMock).withArguments(args...);
    }

    TestSystemBus bus_;  // first made, last gone
    pid_t mockPid_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
    std::map<std::string, std::pair<std::string, std::string>> signatures_;
};

}  // namespace mavu::testing
