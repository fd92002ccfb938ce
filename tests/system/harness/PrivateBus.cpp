#include "tests/system/harness/PrivateBus.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace mavu::testing {
namespace {

// The template with every @NAME@ replaced.
std::string configText(const std::filesystem::path& dir, const std::filesystem::path& policy) {
    const passwd* user = getpwuid(getuid());
    std::string text = readFile(MAVU_PRIVATE_BUS_CONFIG);
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"@DIR@", dir.string()},
                                      {"@USER@", user ? user->pw_name : std::to_string(getuid())},
                                      {"@POLICY@", policy.string()}}) {
        for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

}  // namespace

PrivateBus::PrivateBus(const std::filesystem::path& dir, const std::filesystem::path& policy)
    : logPath_(dir / "bus.log") {
    const auto config = dir / "bus.conf";
    writeFile(config, configText(dir, policy));
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

// Asked with busctl, the way an administrator would.
pid_t PrivateBus::ownerPid(const std::string& name) const {
    // "u 1234"
    const std::string reply =
        runProcess("busctl", {"--address=" + address_, "call", "org.freedesktop.DBus",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "GetConnectionUnixProcessID", "s", name})
            .out;
    return reply.rfind("u ", 0) == 0 ? static_cast<pid_t>(std::stol(reply.substr(2))) : -1;
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
