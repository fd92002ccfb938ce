#include "tests/system/harness/HelperBed.h"

#include <signal.h>

#include <sstream>

#include "tests/system/harness/StandInBus.h"

namespace mavu::testing {
namespace {

// Logs its arguments and prints what the real tool prints on a laptop on mains power;
// anything else it passes to the real tool, when there is one.
std::string powerTool(const std::filesystem::path& dir, const std::filesystem::path& real) {
    return "echo \"$*\" >> '" + (dir / "pmset.log").string() +
           "'\n"
           "[ \"$1 $2\" = \"-g batt\" ] && printf \"Now drawing from 'AC Power'\\n"
           " -InternalBattery-0 (id=4653155)\\t80%%; charged; 0:00 remaining present: true\\n\" "
           "&& exit 0\n" +
           (real.empty() ? "exit 0\n"
                         : "MAVU_RUNTIME_DIR='" + (dir / "run").string() + "' exec '" +
                               real.string() + "' \"$@\"\n");
}

}  // namespace

HelperBed::HelperBed(const HelperBedSetup& setup) {
    setLid(false);
    dir_.writeScript("pmset", powerTool(dir(), setup.powerTool));
    dir_.write("pmset.log", "");
    dir_.write(std::string("services/") + kHelperBusName + ".service",
               "[D-BUS Service]\nName=" + std::string(kHelperBusName) + "\nExec=" +
                   setup.helper.string() + " --anchor " + setup.anchor.string() + " --pmset " +
                   (dir() / "pmset").string() + " --hardware-root " + (dir() / "laptop").string() +
                   (setup.verifier.empty() ? "" : " --verifier " + setup.verifier.string()) + "\n");
    const auto standIns = dir_.write("stand-ins.conf", kStandInPolicy);
    bus_ =
        std::make_unique<PrivateBus>(dir(), BusSetup{{setup.policy, standIns},
                                                     dir() / "services",
                                                     {kHelperBusName, kPolkitName, kLogindName}});
    if (setup.polkit != PolkitStandIn::absent) {
        startPolkit(setup.polkit == PolkitStandIn::allows);
    }
    if (!setup.powerTool.empty()) {
        logind_ = startStandIn({"--template", "logind"}, kLogindName);
    }
}

HelperBed::~HelperBed() {
    stopHelper();
    endProcess(polkit_);
    endProcess(logind_);
    bus_.reset();
}

pid_t HelperBed::startStandIn(std::vector<std::string> args, const std::string& name) {
    args.insert(args.begin(), {"-m", "dbusmock", "--system"});
    const pid_t pid = startProcess("/usr/bin/python3", args, -1, -1, -1, environment());
    eventually([&] { return bus_->ownerPid(name) > 0; }, std::chrono::seconds(10));
    return pid;
}

void HelperBed::startPolkit(bool allows) {
    polkit_ = startStandIn({"--template", MAVU_POLKIT_TEMPLATE}, kPolkitName);
    if (allows) {
        runProcess("busctl", {"--address=" + bus_->address(), "call", kPolkitName, kPolkitPath,
                              "org.freedesktop.DBus.Mock", "SetAllowed", "as", "1",
                              "com.norvel.mavu.keep-awake"});
    }
}

void HelperBed::allowOnlyUser(uid_t uid) {
    runProcess("busctl",
               {"--address=" + bus_->address(), "call", kPolkitName, kPolkitPath,
                "org.freedesktop.DBus.Mock", "SetAllowedUsers", "au", "1", std::to_string(uid)});
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

bool HelperBed::killHelper() {
    const pid_t helper = bus_->ownerPid(kHelperBusName);
    return helper > 0 && kill(helper, SIGKILL) == 0 &&
           eventually([&] { return bus_->ownerPid(kHelperBusName) <= 0; });
}

bool HelperBed::stopHelper() {
    return bus_ && bus_->stopOwner(kHelperBusName, std::chrono::seconds(10));
}

}  // namespace mavu::testing
