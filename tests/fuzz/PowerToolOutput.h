#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "helper/PowerController.h"
#include "platform/process/ProcessRunner.h"

namespace mavu::fuzz {

// What the daemon makes of output as the report of a power tool that exited with 0.
inline std::optional<helper::BatteryReading> daemonReading(std::string_view output) {
    struct Runner final : process::ProcessRunner {
        std::string output;
        process::RunResult run(const std::string&, const std::vector<std::string>&,
                               dispatch::Duration) override {
            return {true, {}, false, 0, output};
        }
    } runner;
    runner.output = output;
    helper::PowerController power(runner, "mavu-pmset");
    return power.readBattery();
}

}  // namespace mavu::fuzz
