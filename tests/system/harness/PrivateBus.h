#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"

namespace mavu::testing {

// A private dbus-daemon with the system bus's default-deny policy and the given policy
// file (private-bus.conf), listening on a socket in dir and starting the activation files
// in dir/services itself. Its standard error (and that of every service it starts) goes
// to dir/bus.log. Stopped by its pid on destruction.
class PrivateBus {
  public:
    PrivateBus(const std::filesystem::path& dir, const std::filesystem::path& policy);
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
