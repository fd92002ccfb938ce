#include "tests/system/harness/HelperBed.h"

#include <sstream>

namespace mavu::testing {
namespace {

const char kBusName[] = "group.com.norvel.mavu.helper";
const char kPolkitName[] = "org.freedesktop.PolicyKit1";
const char kPolkitPath[] = "/org/freedesktop/PolicyKit1/Authority";

// Lets the polkit stand-in take polkit's name and everyone call it, as on a real system.
const char kPolkitPolicy[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <policy user="root">
    <allow own="org.freedesktop.PolicyKit1"/>
  </policy>
  <policy context="default">
    <allow send_destination="org.freedesktop.PolicyKit1"/>
  </policy>
</busconfig>
)";

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
               "[D-BUS Service]\nName=" + std::string(kBusName) + "\nExec=" +
                   setup.helper.string() + " --anchor " + setup.anchor.string() + " --pmset " +
                   (dir() / "pmset").string() + " --hardware-root " + (dir() / "laptop").string() +
                   (setup.verifier.empty() ? "" : " --verifier " + setup.verifier.string()) + "\n");
    const auto polkitPolicy = dir_.write("polkit.conf", kPolkitPolicy);
    bus_ = std::make_unique<PrivateBus>(
        dir(), BusSetup{{setup.policy, polkitPolicy}, dir() / "services", {kBusName, kPolkitName}});
    if (setup.polkit != PolkitStandIn::absent) {
        startPolkit(setup.polkit == PolkitStandIn::allows);
    }
}

HelperBed::~HelperBed() {
    stopHelper();
    endProcess(polkit_);
    bus_.reset();
}

void HelperBed::startPolkit(bool allows) {
    polkit_ = startProcess("/usr/bin/python3",
                           {"-m", "dbusmock", "--system", "--template", MAVU_POLKIT_TEMPLATE}, -1,
                           -1, -1, environment());
    const auto busctl = [this](std::vector<std::string> args) {
        args.insert(args.begin(), "--address=" + bus_->address());
        return runProcess("busctl", args).status == 0;
    };
    eventually([&] { return busctl({"status", kPolkitName}); }, std::chrono::seconds(10));
    if (allows) {
        busctl({"call", kPolkitName, kPolkitPath, "org.freedesktop.DBus.Mock", "SetAllowed", "as",
                "1", "com.norvel.mavu.keep-awake"});
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

bool HelperBed::stopHelper() {
    return bus_ && bus_->stopOwner(kBusName, std::chrono::seconds(10));
}

}  // namespace mavu::testing
