#include "tests/system/harness/PrivateBus.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <sstream>

#include "tests/support/TempDir.h"

namespace mavu::testing {
namespace {

std::string currentUserName() {
    if (const passwd* entry = getpwuid(getuid())) {
        return entry->pw_name;
    }
    return std::to_string(getuid());
}

std::string configText(const std::filesystem::path& dir, const BusSetup& setup) {
    std::ostringstream text;
    text << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=)"
         << (dir / "socket").string() << R"(</listen>
  <auth>EXTERNAL</auth>
)";
    if (!setup.servicesDir.empty()) {
        text << "  <servicedir>" << setup.servicesDir.string() << "</servicedir>\n";
    }
    text << R"(  <limit name="service_start_timeout">10000</limit>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
  </policy>
)";
    if (!setup.namesOwnedByTestUser.empty() && getuid() != 0) {
        text << "  <policy user=\"" << currentUserName() << "\">\n";
        for (const auto& name : setup.namesOwnedByTestUser) {
            text << "    <allow own=\"" << name << "\"/>\n";
        }
        text << "  </policy>\n";
    }
    for (const auto& policy : setup.policyFiles) {
        text << "  <include>" << policy.string() << "</include>\n";
    }
    text << "</busconfig>\n";
    return text.str();
}

// Asked with busctl, the way an administrator would.
pid_t ownerPidOn(const std::string& address, const std::string& name) {
    // "u 1234"
    const std::string reply =
        runProcess("busctl",
                   {"--address=" + address, "call", "org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s", name})
            .out;
    return reply.rfind("u ", 0) == 0 ? static_cast<pid_t>(std::stol(reply.substr(2))) : -1;
}

}  // namespace

PrivateBus::PrivateBus(const std::filesystem::path& dir, const BusSetup& setup)
    : logPath_(dir / "bus.log") {
    const auto config = dir / "bus.conf";
    writeFile(config, configText(dir, setup));
    // Only the address goes to the pipe; whatever the bus and its services print goes to
    // the log.
    daemon_ = std::make_unique<TalkingProcess>(
        "/bin/sh",
        std::vector<std::string>{
            "-c",
            "exec dbus-daemon --config-file=\"$1\" --nofork --print-address=3 3>&1 >>\"$2\" 2>&1",
            "sh", config.string(), logPath_.string()});
    if (auto line = daemon_->readLine(std::chrono::seconds(10)); line && !line->empty()) {
        address_ = *line;
    }
}

PrivateBus::~PrivateBus() {
    if (daemon_->pid() > 0) {
        kill(daemon_->pid(), SIGTERM);
        daemon_->finish(std::chrono::seconds(5));
    }
}

std::string PrivateBus::log() const {
    return readFile(logPath_);
}

Environment PrivateBus::environment() const {
    return {{"DBUS_SYSTEM_BUS_ADDRESS", address_}, {"DBUS_SESSION_BUS_ADDRESS", address_}};
}

pid_t PrivateBus::ownerPid(const std::string& name) const {
    return ownerPidOn(address_, name);
}

bool PrivateBus::stopOwner(const std::string& name, std::chrono::milliseconds timeout) const {
    const pid_t owner = ownerPid(name);
    if (owner <= 0) {
        return false;
    }
    kill(owner, SIGTERM);
    if (eventually([&] { return ownerPid(name) <= 0; }, timeout)) {
        return true;
    }
    kill(owner, SIGKILL);
    return false;
}

}  // namespace mavu::testing
