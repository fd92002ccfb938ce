#include "tests/system/harness/HelperBed.h"

#include <signal.h>

#include <sstream>
#include <utility>

#include "tests/support/TestSystemBus.h"

namespace mavu::testing {
namespace {

const std::string kHelperBusName = "group.com.norvel.mavu.helper";
const std::string kPolkitName = "org.freedesktop.PolicyKit1";
const std::string kLogindName = "org.freedesktop.login1";

// Logs its arguments, then passes them to the real tool, or prints what the real tool
// prints on a laptop on mains power.
std::string powerTool(const std::filesystem::path& dir, const std::filesystem::path& real) {
    return "echo \"$*\" >> '" + (dir / "pmset.log").string() + "'\n" +
           (real.empty() ? "[ \"$1 $2\" = \"-g batt\" ] && printf \"Now drawing from 'AC Power'\\n"
                           " -InternalBattery-0 (id=4653155)\\t80%%; charged; 0:00 remaining "
                           "present: true\\n\"\nexit 0\n"
                         : "exec '" + real.string() + "' \"$@\"\n");
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void callPolkitMock(const PrivateBus& bus, std::vector<std::string> call) {
    call.insert(call.begin(),
                {"--address=" + bus.address(), "call", kPolkitName,
                 "/org/freedesktop/PolicyKit1/Authority", "org.freedesktop.DBus.Mock"});
    runProcess("busctl", call);
}

}  // namespace

HelperBed::HelperBed(const HelperBedSetup& setup) : client_(setup.client) {
    runProcess(MAVU_FAKE_LAPTOP, {"init", (dir() / "laptop").string()});
    dir_.writeScript("pmset", powerTool(dir(), setup.powerTool));
    dir_.write("pmset.log", "");
    dir_.write("services/" + kHelperBusName + ".service",
               "[D-BUS Service]\nName=" + kHelperBusName +
                   "\nExec=/usr/bin/env MAVU_RUNTIME_DIR=" + (dir() / "run").string() +
                   " DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (dir() / "socket").string() + " " +
                   setup.helper.string() + " --anchor " + setup.anchor.string() + " --pmset " +
                   (dir() / "pmset").string() + " --hardware-root " + (dir() / "laptop").string() +
                   "\n");
    bus_ = std::make_unique<PrivateBus>(dir(), setup.policy);
    if (setup.polkit != PolkitStandIn::absent) {
        polkit_ = startDbusMock(bus_->address(), MAVU_POLKIT_TEMPLATE, kPolkitName);
    }
    if (setup.polkit == PolkitStandIn::allows) {
        callPolkitMock(*bus_, {"SetAllowed", "as", "1", "com.norvel.mavu.keep-awake"});
    }
    if (!setup.powerTool.empty()) {
        restartLogind();
    }
}

HelperBed::~HelperBed() {
    stopHelper();
    endProcess(polkit_);
    killLogind();
    bus_.reset();
}

std::vector<std::string> HelperBed::call(const std::vector<std::string>& commands) const {
    return linesOf(runProcess(client_, commands, environment()).out);
}

std::string HelperBed::status() const {
    const auto lines = call({"status"});
    return lines.size() == 2 ? lines[1] : "";
}

bool HelperBed::waitForStatus(const std::string& part, std::chrono::milliseconds limit) const {
    return eventually([&] { return status().find(part) != std::string::npos; }, limit);
}

void HelperBed::allowOnlyUser(uid_t uid) {
    callPolkitMock(*bus_, {"SetAllowedUsers", "au", "1", std::to_string(uid)});
}

bool HelperBed::laptop(std::vector<std::string> args) const {
    args.insert(args.begin(), (dir() / "laptop").string());
    return runProcess(MAVU_FAKE_LAPTOP, std::move(args)).status == 0;
}

std::vector<std::string> HelperBed::powerToolRuns() const {
    return linesOf(readFile(dir() / "pmset.log"));
}

pid_t HelperBed::helperPid() const {
    return bus_->ownerPid(kHelperBusName);
}

bool HelperBed::stopHelper() {
    return bus_->running() && bus_->stopOwner(kHelperBusName, std::chrono::seconds(10));
}

void HelperBed::killLogind() {
    endProcess(std::exchange(logind_, -1), SIGKILL);
}

bool HelperBed::restartLogind() {
    killLogind();
    logind_ = startDbusMock(bus_->address(), "logind", kLogindName);
    return logind_ > 0;
}

void HelperBed::killBus() {
    // The bus daemon answers for its own name with its own pid.
    if (const pid_t daemon = bus_->ownerPid("org.freedesktop.DBus"); daemon > 0) {
        kill(daemon, SIGKILL);
    }
}

}  // namespace mavu::testing
