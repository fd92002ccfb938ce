#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/system/harness/PrivateBus.h"

namespace mavu::testing {

struct LaptopBedSetup {
    std::filesystem::path helper;      // the mavu-helper executable to activate
    std::filesystem::path pmset;       // the real power tool it runs
    std::filesystem::path anchor;      // passed as --anchor
    std::filesystem::path policy;      // the helper's bus policy file
    std::filesystem::path fakeLaptop;  // scripts/fake-laptop
};

// The whole daemon as it runs on a laptop, but in a folder: the helper activated on a
// private system bus, the real power tool with its runtime folder here, python-dbusmock's
// logind and polkit (allowing the keep-awake action) on the same bus, and the fake laptop
// tree (lid open, on AC, 85 %, panel on).
// Everything it started is stopped by its pid at the end, holders included.
class LaptopBed {
  public:
    explicit LaptopBed(const LaptopBedSetup& setup);
    ~LaptopBed();
    LaptopBed(const LaptopBed&) = delete;
    LaptopBed& operator=(const LaptopBed&) = delete;

    bool ready() const { return bus_->running() && polkit_ > 0 && logind_ > 0; }
    Environment environment() const { return bus_->environment(); }
    // The bus log, which holds the helper's own log lines.
    std::string log() const { return bus_->log(); }
    const std::filesystem::path& dir() const { return dir_.path(); }

    // Runs the fake-laptop script on this laptop ("lid closed", "battery 4", ...).
    bool laptop(std::vector<std::string> args) const;
    std::filesystem::path laptopFile(const std::string& relative) const;
    // The panel's bl_power: "0" lit, "4" dark.
    std::string panelPower() const;

    // The helper's pid while it owns its bus name; -1 otherwise.
    pid_t helperPid() const;
    // The sleep holder the power tool recorded, while that process still runs.
    std::optional<pid_t> holderPid() const;
    // The inhibitor locks logind lists; nothing while logind does not answer.
    std::optional<int> inhibitorCount() const;

    // Starts logind's stand-in and waits until it answers; stops it without a trace, as
    // a crash or a restart would.
    bool startLogind();
    void killLogind();
    // Ends the bus daemon at once; its clients lose their connection.
    void killBus();
    // Stops the helper as systemd would.
    void stopHelper();

  private:
    LaptopBedSetup setup_;
    TempDir dir_;
    std::unique_ptr<PrivateBus> bus_;
    pid_t polkit_ = -1;
    pid_t logind_ = -1;
};

}  // namespace mavu::testing
