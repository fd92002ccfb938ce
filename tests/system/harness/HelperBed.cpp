#include "tests/system/harness/HelperBed.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <sstream>
#include <utility>

#include "tests/support/TestSystemBus.h"

namespace mavu::testing {
namespace {

const std::string kHelperBusName = "group.com.norvel.mavu.helper";
const std::string kPolkitName = "org.freedesktop.PolicyKit1";

// The bus configuration, the template with every @NAME@ replaced.
std::string busConfig(const std::filesystem::path& dir, const std::filesystem::path& policy) {
    const passwd* user = getpwuid(getuid());
    std::string text = readFile(MAVU_PRIVATE_BUS_CONFIG);
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"@DIR@", dir.string()},
                                      {"@USER@", user ? user->pw_name : std::to_string(getuid())},
                                      {"@POLICY@", policy.string()}}) {
        for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
            text.replace(at, name.size(), value);
        }
    }
    writeFile(dir / "bus.conf", text);
    return (dir / "bus.conf").string();
}

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

// Only the address goes to the pipe; whatever the bus and its services print goes to the log.
PrivateBus::PrivateBus(const std::filesystem::path& dir, const std::filesystem::path& policy)
    : daemon_(
          "/bin/sh",
          {"-c",
           "exec dbus-daemon --config-file=\"$1\" --nofork --print-address=3 3>&1 >>\"$2\" 2>&1",
           "sh", busConfig(dir, policy), (dir / "bus.log").string()}) {
    if (auto line = daemon_.readLine(std::chrono::seconds(10)); line && !line->empty()) {
        address_ = *line;
    }
}

// Asked with busctl, the way an administrator would: "u 1234".
pid_t PrivateBus::ownerPid(const std::string& name) const {
    const std::string reply =
        runProcess("busctl", {"--address=" + address_, "call", "org.freedesktop.DBus",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "GetConnectionUnixProcessID", "s", name})
            .out;
    return reply.rfind("u ", 0) == 0 ? static_cast<pid_t>(std::stol(reply.substr(2))) : -1;
}

HelperBed::HelperBed(const HelperBedSetup& setup) : client_(setup.client) {
    runProcess(MAVU_FAKE_LAPTOP, {"init", (dir() / "laptop").string()});
    dir_.writeScript("pmset", powerTool(dir(), setup.powerTool));
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
    const pid_t helper = helperPid();
    if (helper <= 0) {
        return false;
    }
    kill(helper, SIGTERM);
    if (eventually([&] { return helperPid() <= 0; }, std::chrono::seconds(10))) {
        return true;
    }
    kill(helper, SIGKILL);
    return false;
}

bool HelperBed::restartLogind() {
    killLogind();
    logind_ = startDbusMock(bus_->address(), "logind", "org.freedesktop.login1");
    return logind_ > 0;
}

}  // namespace mavu::testing
