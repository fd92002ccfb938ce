#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Time.h"
#include "platform/process/ProcessRunner.h"

namespace mavu::helper {

struct BatteryReading {
    int percent = 0;
    bool onACPower = false;

    bool operator==(const BatteryReading&) const = default;
};

// The daemon's only way to touch the power settings: it runs the power tool with fixed
// argument lists and reads the battery from the tool's report. Used from one queue only.
class PowerController {
  public:
    // A tool that has not finished by then is killed: every safety watch waits on it.
    static constexpr dispatch::Duration kDefaultTimeLimit = std::chrono::seconds(10);

    PowerController(process::ProcessRunner& runner, std::string toolPath,
                    dispatch::Duration timeLimit = kDefaultTimeLimit);

    // True exactly when the tool started and exited with status 0.
    bool runPmset(const std::vector<std::string>& arguments);
    // The battery as "-g batt" reports it, or nothing when it cannot be told.
    std::optional<BatteryReading> readBattery();

  private:
    process::RunResult runTool(const std::vector<std::string>& arguments);

    process::ProcessRunner& runner_;
    std::string toolPath_;
    dispatch::Duration timeLimit_;
};

}  // namespace mavu::helper
