#include "tests/system/harness/HelperBed.h"

#include <sstream>

namespace mavu::testing {
namespace {

const char kBusName[] = "group.com.norvel.mavu.helper";

// Logs its arguments and prints what the real tool prints on a laptop on mains power.
std::string powerTool(const std::filesystem::path& dir) {
    return "echo \"$*\" >> '" + (dir / "pmset.log").string() +
           "'\n"
           "[ \"$1 $2\" = \"-g batt\" ] && printf \"Now drawing from 'AC Power'\\n"
           " -InternalBattery-0 (id=4653155)\\t80%%; charged; 0:00 remaining present: true\\n\"\n"
           "exit 0\n";
}

}  // namespace

HelperBed::HelperBed(const HelperBedSetup& setup) {
    setLid(false);
    dir_.writeScript("pmset", powerTool(dir()));
    dir_.write("pmset.log", "");
    dir_.write(std::string("services/") + kBusName + ".service",
               "[D-BUS Service]\nName=" + std::string(kBusName) +
                   "\nExec=" + setup.helper.string() + " --anchor " + setup.anchor.string() +
                   " --pmset " + (dir() / "pmset").string() + " --hardware-root " +
                   (dir() / "laptop").string() + "\n");
    bus_ = std::make_unique<PrivateBus>(dir(),
                                        BusSetup{{setup.policy}, dir() / "services", {kBusName}});
}

HelperBed::~HelperBed() {
    stopHelper();
    bus_.reset();
}

void HelperBed::setLid(bool closed) {
    // In one rename, so the helper's poll never reads a half-written file.
    const auto state = dir() / "laptop/proc/acpi/button/lid/LID0/state";
    const auto next = state.string() + ".next";
    writeFile(next, closed ? "state:      closed\n" : "state:      open\n");
    std::filesystem::rename(next, state);
}

std::vector<std::string> HelperBed::powerToolRuns() const {
    std::vector<std::string> runs;
    std::istringstream lines(readFile(dir() / "pmset.log"));
    for (std::string line; std::getline(lines, line);) {
        runs.push_back(line);
    }
    return runs;
}

bool HelperBed::stopHelper() {
    return bus_ && bus_->stopOwner(kBusName, std::chrono::seconds(10));
}

}  // namespace mavu::testing
