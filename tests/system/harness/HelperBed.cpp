#include "tests/system/harness/HelperBed.h"

#include <sstream>

namespace mavu::testing {
namespace {

const char kBusName[] = "group.com.norvel.mavu.helper";

// Prints what the real tool prints on a laptop on mains power, unless the battery file
// says otherwise.
std::string powerTool(const std::filesystem::path& dir) {
    return "#!/bin/sh\n"
           "echo \"$*\" >> '" +
           (dir / "pmset.log").string() +
           "'\n"
           "if [ \"$1 $2\" = \"-g batt\" ]; then\n"
           "  [ -e '" +
           (dir / "battery-unreadable").string() +
           "' ] && exit 1\n"
           "  printf \"Now drawing from 'AC Power'\\n"
           " -InternalBattery-0 (id=4653155)\\t80%%; charged; 0:00 remaining present: true\\n\"\n"
           "fi\n"
           "exit 0\n";
}

}  // namespace

HelperBed::HelperBed(const HelperBedSetup& setup) {
    setLid(false);
    writeFile(dir() / "pmset", powerTool(dir()), true);
    writeFile(dir() / "pmset.log", "");
    writeFile(dir() / "services" / (std::string(kBusName) + ".service"),
              "[D-BUS Service]\nName=" + std::string(kBusName) + "\nExec=" + setup.helper.string() +
                  " --anchor " + setup.anchor.string() + " --pmset " + (dir() / "pmset").string() +
                  " --hardware-root " + (dir() / "laptop").string() + "\n");
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

void HelperBed::setBatteryReadable(bool readable) {
    if (readable) {
        std::filesystem::remove(dir() / "battery-unreadable");
    } else {
        writeFile(dir() / "battery-unreadable", "");
    }
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
