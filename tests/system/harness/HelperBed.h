#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::testing {

// A private dbus-daemon with the system bus's default-deny policy and the given policy
// file (private-bus.conf), listening on a socket in dir and starting the activation files
// in dir/services itself. Its standard error (and that of every service it starts) goes
// to dir/bus.log.
class PrivateBus {
  public:
    PrivateBus(const std::filesystem::path& dir, const std::filesystem::path& policy);

    bool running() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    pid_t pid() const { return daemon_.pid(); }
    // The pid of the process owning name, or -1.
    pid_t ownerPid(const std::string& name) const;

  private:
    TalkingProcess daemon_;
    std::string address_;
};

// What polkit says when the helper asks whether a caller may keep the machine awake.
enum class PolkitStandIn { allows, refuses, absent };

// By default the programs just built: the helper, its development anchor, the bus policy
// it installs and mavu-ctl as the build signed it.
struct HelperBedSetup {
    std::filesystem::path helper = MAVU_TEST_HELPER;  // the mavu-helper executable to activate
    std::filesystem::path anchor = MAVU_TEST_ANCHOR;  // passed as --anchor
    std::filesystem::path policy = MAVU_TEST_BUS_POLICY;
    PolkitStandIn polkit = PolkitStandIn::allows;
    // When given, this real power tool serves every call, with a stand-in for logind on
    // the bus and its runtime folder at dir()/run.
    std::filesystem::path powerTool{};
    std::filesystem::path client = MAVU_TEST_SIGNED_CLIENT;  // what call() and status() run
};

// A fake laptop (scripts/fake-laptop: lid open, on AC, 85 %, panel lit) with the helper
// on a private system bus: a power tool that logs its arguments (and reports AC power
// unless a real one serves), a stand-in for polkit (python-dbusmock's polkitd, deciding
// per user), and an activation file that starts the helper on the first call. Whatever
// it started is stopped by its pid at the end, the helper with SIGTERM first.
class HelperBed {
  public:
    explicit HelperBed(const HelperBedSetup& setup);
    ~HelperBed();

    const PrivateBus& bus() const { return *bus_; }
    const std::filesystem::path& dir() const { return dir_.path(); }
    // What a client needs to reach the private bus: both buses point at it.
    Environment environment() const {
        return {{"DBUS_SYSTEM_BUS_ADDRESS", bus_->address()},
                {"DBUS_SESSION_BUS_ADDRESS", bus_->address()}};
    }
    // The bus log, which holds the helper's own log lines.
    std::string log() const { return readFile(dir() / "bus.log"); }

    // A client's output lines: "pid N", then one line per reply.
    std::vector<std::string> call(const std::vector<std::string>& commands) const;
    // The status line the client prints; "" when there is none.
    std::string status() const;
    // The helper follows the lid on its own: polls its status until it shows part.
    bool waitForStatus(const std::string& part,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // From now on polkit allows the keep-awake action to this user only.
    void allowOnlyUser(uid_t uid);
    // Runs fake-laptop on this laptop ("lid closed", "battery 4", ...).
    bool laptop(std::vector<std::string> args) const;
    // The power tool's argument lists, one per run, in order.
    std::vector<std::string> powerToolRuns() const;

    pid_t helperPid() const;
    // Stops the helper as systemd would; true when it released its name on SIGTERM.
    bool stopHelper();
    // Ends logind's stand-in without a trace, as a crash would; a restart forgets its locks.
    void killLogind() { endProcess(std::exchange(logind_, -1), SIGKILL); }
    bool restartLogind();

  private:
    TempDir dir_;
    std::filesystem::path client_;
    std::unique_ptr<PrivateBus> bus_;
    pid_t polkit_ = -1;
    pid_t logind_ = -1;
};

}  // namespace mavu::testing
