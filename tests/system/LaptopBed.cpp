#include "tests/system/LaptopBed.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <utility>

#include "helper/pmset/HolderRecord.h"
#include "tests/system/harness/StandInBus.h"

namespace mavu::testing {
namespace {

using namespace std::chrono_literals;

// The number that follows "a(ssssuu) " in busctl's answer to ListInhibitors.
std::optional<int> countAfterSignature(const std::string& reply) {
    const std::string signature = "a(ssssuu) ";
    if (reply.rfind(signature, 0) != 0) {
        return std::nullopt;
    }
    return std::stoi(reply.substr(signature.size()));
}

}  // namespace

LaptopBed::LaptopBed(const LaptopBedSetup& setup) : setup_(setup) {
    runProcess(setup.fakeLaptop, {"init", (dir() / "laptop").string()});
    const std::string address = "unix:path=" + (dir() / "socket").string();
    dir_.write(std::string("services/") + kHelperBusName + ".service",
               "[D-BUS Service]\nName=" + std::string(kHelperBusName) +
                   "\nExec=/usr/bin/env MAVU_RUNTIME_DIR=" + (dir() / "run").string() +
                   " DBUS_SYSTEM_BUS_ADDRESS=" + address + " " + setup.helper.string() +
                   " --anchor " + setup.anchor.string() + " --pmset " + setup.pmset.string() +
                   " --hardware-root " + (dir() / "laptop").string() + "\n");
    const auto standIns = dir_.write("stand-ins.conf", kStandInPolicy);
    bus_ =
        std::make_unique<PrivateBus>(dir(), BusSetup{{setup.policy, standIns},
                                                     dir() / "services",
                                                     {kHelperBusName, kPolkitName, kLogindName}});
    if (!bus_->running()) {
        return;
    }
    polkit_ = startProcess("/usr/bin/python3",
                           {"-m", "dbusmock", "--system", "--template", MAVU_POLKIT_TEMPLATE}, -1,
                           -1, -1, environment());
    if (eventually([&] { return bus_->ownerPid(kPolkitName) > 0; }, 15s)) {
        runProcess("busctl", {"--address=" + bus_->address(), "call", kPolkitName, kPolkitPath,
                              "org.freedesktop.DBus.Mock", "SetAllowed", "as", "1",
                              "com.norvel.mavu.keep-awake"});
    }
    startLogind();
}

LaptopBed::~LaptopBed() {
    stopHelper();
    if (const auto holder = holderPid()) {
        endProcess(*holder, SIGKILL);
    }
    killLogind();
    endProcess(polkit_);
    bus_.reset();
}

bool LaptopBed::laptop(std::vector<std::string> args) const {
    args.insert(args.begin(), (dir() / "laptop").string());
    return runProcess(setup_.fakeLaptop, std::move(args)).status == 0;
}

std::filesystem::path LaptopBed::laptopFile(const std::string& relative) const {
    return dir() / "laptop" / relative;
}

std::string LaptopBed::panelPower() const {
    const std::string text = readFile(laptopFile("sys/class/backlight/intel_backlight/bl_power"));
    return text.substr(0, text.find('\n'));
}

pid_t LaptopBed::helperPid() const {
    return bus_->ownerPid(kHelperBusName);
}

std::optional<pid_t> LaptopBed::holderPid() const {
    const auto record = pmset::readHolderRecord(dir() / "run" / pmset::kHolderRecordName);
    if (!record || pmset::runningProcessStartTime(record->pid) != record->startTime) {
        return std::nullopt;
    }
    return record->pid;
}

std::optional<int> LaptopBed::inhibitorCount() const {
    return countAfterSignature(
        runProcess("busctl",
                   {"--address=" + bus_->address(), "call", "org.freedesktop.login1",
                    "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors"})
            .out);
}

bool LaptopBed::startLogind() {
    killLogind();
    logind_ =
        startProcess("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "logind"}, -1,
                     -1, -1, environment());
    if (!eventually([&] { return bus_->ownerPid(kLogindName) == logind_; }, 15s)) {
        killLogind();
    }
    return logind_ > 0;
}

void LaptopBed::killLogind() {
    endProcess(std::exchange(logind_, -1), SIGKILL);
}

void LaptopBed::killBus() {
    // The bus daemon answers for its own name with its own pid.
    if (const pid_t daemon = bus_->ownerPid("org.freedesktop.DBus"); daemon > 0) {
        kill(daemon, SIGKILL);
    }
}

void LaptopBed::stopHelper() {
    if (bus_ && bus_->running()) {
        bus_->stopOwner(kHelperBusName, std::chrono::seconds(10));
    }
}

}  // namespace mavu::testing
