#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/system/harness/PrivateBus.h"

namespace mavu::testing {

// What polkit says when the helper asks whether a caller may keep the machine awake.
enum class PolkitStandIn { allows, refuses, absent };

struct HelperBedSetup {
    std::filesystem::path helper;  // the mavu-helper executable to activate
    std::filesystem::path anchor;  // passed as --anchor
    std::filesystem::path policy;  // the bus policy file
    PolkitStandIn polkit = PolkitStandIn::allows;
    std::filesystem::path verifier{};  // passed as --verifier when given
    // When given, this real power tool serves every call but "-g batt", with a stand-in for
    // logind on the bus and its runtime folder at dir()/run.
    std::filesystem::path powerTool{};
};

// A fake laptop with the helper on a private system bus: a hardware tree with an ACPI
// lid (open at first), a power tool that logs its arguments and reports AC power, a
// stand-in for polkit (python-dbusmock's polkitd, deciding per user), and an activation
// file that starts the helper on the first call. The helper is stopped with SIGTERM
// before the bus goes.
class HelperBed {
  public:
    explicit HelperBed(const HelperBedSetup& setup);
    ~HelperBed();
    HelperBed(const HelperBed&) = delete;
    HelperBed& operator=(const HelperBed&) = delete;

    const PrivateBus& bus() const { return *bus_; }
    const std::filesystem::path& dir() const { return dir_.path(); }
    // What a client needs to reach the private bus.
    Environment environment() const { return bus_->environment(); }
    // The bus log, which holds the helper's own log lines.
    std::string log() const { return bus_->log(); }

    // From now on polkit allows the keep-awake action to this user only.
    void allowOnlyUser(uid_t uid);

    void setLid(bool closed);
    // The power tool's argument lists, one per run, in order.
    std::vector<std::string> powerToolRuns() const;

    // Stops the helper as systemd would; true when it released its name on SIGTERM.
    bool stopHelper();
    // Kills the helper with SIGKILL, as a crash would, and waits until it is gone.
    bool killHelper();

  private:
    void startPolkit(bool allows);
    pid_t startStandIn(std::vector<std::string> args, const std::string& name);

    TempDir dir_;
    std::unique_ptr<PrivateBus> bus_;
    pid_t polkit_ = -1;
    pid_t logind_ = -1;
};

}  // namespace mavu::testing
