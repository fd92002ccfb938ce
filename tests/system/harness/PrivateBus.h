#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace mavu::testing {

struct BusSetup {
    // Policy files included after the default policy, as the system bus includes
    // system.d.
    std::vector<std::filesystem::path> policyFiles;
    // Activation files live here; the bus starts their Exec= directly, without systemd.
    std::filesystem::path servicesDir;
    // Bus names the test's own user may own, for runs that are not root.
    std::vector<std::string> namesOwnedByTestUser;
};

// A private dbus-daemon with the system bus's default-deny policy, listening on a socket
// in dir. Its standard error (and that of every service it starts) goes to dir/bus.log.
// Stopped by its pid on destruction.
class PrivateBus {
  public:
    PrivateBus(const std::filesystem::path& dir, const BusSetup& setup);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    std::string log() const;
    // Points both buses at this one, so nothing reaches a real bus.
    Environment environment() const;

    // The pid of the process owning name, or -1.
    pid_t ownerPid(const std::string& name) const;

    // Sends SIGTERM to the owner of name and waits for the name to be released; SIGKILL
    // when it is not released in time. Returns whether it ended on SIGTERM.
    bool stopOwner(const std::string& name, std::chrono::milliseconds timeout) const;

  private:
    std::filesystem::path logPath_;
    std::unique_ptr<TalkingProcess> daemon_;
    std::string address_;
};

}  // namespace mavu::testing
