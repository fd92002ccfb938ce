// mavu-pmset: the power tool the daemon runs, with the argument lists and output of the
// original power-settings tool:
//   -a disablesleep 1   keep the machine running with the lid closed
//   -a disablesleep 0   let it sleep normally again
//   displaysleepnow     switch the panel off
//   -g batt             print the power source and the battery
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "helper/pmset/Backlight.h"
#include "helper/pmset/BatteryReport.h"
#include "helper/pmset/RuntimeFiles.h"
#include "helper/pmset/SleepHold.h"
#include "helper/pmset/ToolPaths.h"

namespace {

// EX_USAGE
constexpr int kUsageStatus = 64;

int run(const std::vector<std::string_view>& args) {
    using mavu::pmset::ToolPaths;
    using Args = std::vector<std::string_view>;
    const ToolPaths paths = mavu::pmset::toolPathsFromEnvironment();
    if (args == Args{"-a", "disablesleep", "1"}) {
        return mavu::pmset::holdSleep(paths);
    }
    if (args == Args{"-a", "disablesleep", "0"}) {
        return mavu::pmset::releaseSleep(paths);
    }
    if (args == Args{"displaysleepnow"}) {
        mavu::pmset::RuntimeLock lock(paths.runtimeDir);
        return lock.held() && mavu::pmset::switchBacklightsOff(paths) ? 0 : 1;
    }
    if (args == Args{"-g", "batt"}) {
        std::cout << mavu::pmset::batteryReport(paths.hardwareRoot) << std::flush;
        return 0;
    }
    std::cerr << "usage: mavu-pmset -a disablesleep 0|1\n"
                 "       mavu-pmset displaysleepnow\n"
                 "       mavu-pmset -g batt\n";
    return kUsageStatus;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string_view>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "mavu-pmset: " << error.what() << "\n";
        return 1;
    }
}
