// mavu-helper: the root daemon the system bus starts on demand. It restores normal sleep,
// starts its watches and the lid monitor, then serves the helper protocol to signed
// clients of users polkit allows until it is stopped, releasing any hold on the way out.
#include <pwd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "helper/HelperService.h"
#include "helper/bus/ConnectionGate.h"
#include "helper/bus/DaemonOptions.h"
#include "helper/bus/HelperListener.h"
#include "helper/bus/StopSignals.h"
#include "helper/version/HelperVersion.h"
#include "platform/clientcheck/IsolatedClientVerifier.h"
#include "platform/clientcheck/ProcessExecutable.h"
#include "platform/dispatch/RealDispatch.h"
#include "platform/hardware/LinuxPowerRegistry.h"
#include "platform/hardware/SysfsThermalSource.h"
#include "platform/log/Log.h"
#include "platform/polkit/PolkitAuthority.h"
#include "platform/process/SpawnProcessRunner.h"
#include "protocol/HelperProtocol.h"

using namespace mavu;

namespace {

std::string besideThisProgram(const char* name) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? name : (self.parent_path() / name).string();
}

// The verifier reads callers' signatures as nobody.
clientcheck::VerifierProgram verifierProgram(const helper::DaemonOptions& options) {
    clientcheck::VerifierProgram program{options.verifier, options.anchor};
    if (const passwd* nobody = getpwnam("nobody")) {
        program.uid = nobody->pw_uid;
        program.gid = nobody->pw_gid;
    }
    return program;
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed =
        helper::parseDaemonOptions(std::vector<std::string>(argv + 1, argv + argc),
                                   helper::DaemonOptions{MAVU_DEFAULT_ANCHOR, MAVU_DEFAULT_PMSET,
                                                         "/", besideThisProgram("mavu-verify")});
    if (const auto* error = std::get_if<helper::OptionsError>(&parsed)) {
        std::fprintf(stderr, "%s\n%s\n", error->sentence.c_str(), helper::kDaemonUsage);
        return 2;
    }
    const auto& options = std::get<helper::DaemonOptions>(parsed);
    // The power tool looks for the (possibly fake) laptop where the daemon does.
    setenv("MAVU_HARDWARE_ROOT", options.hardwareRoot.c_str(), 1);
    helper::StopSignals stopSignals;

    // What the service runs on lives as long as the process and is never destroyed: the
    // service's last reference can be dropped on its own state queue (an operation holds
    // it while it runs), after main has already returned, and its lid monitor then still
    // releases what it holds in the registry.
    struct ServiceEnvironment {
        explicit ServiceEnvironment(const std::string& hardwareRoot)
            : thermal(hardwareRoot), registry(hardwareRoot) {}
        dispatch::RealDispatch dispatch;
        process::SpawnProcessRunner processes;
        hardware::SysfsThermalSource thermal;
        hardware::LinuxPowerRegistry registry;
    };
    static ServiceEnvironment* const environment = new ServiceEnvironment(options.hardwareRoot);
    auto& dispatch = environment->dispatch;
    clientcheck::IsolatedClientVerifier verifier({.program = verifierProgram(options)});

    // Start-up restores normal sleep before anyone can reach the daemon.
    auto service =
        helper::HelperService::create({.dispatch = dispatch,
                                       .processes = environment->processes,
                                       .powerTool = options.pmset,
                                       .thermal = environment->thermal,
                                       .registry = environment->registry,
                                       .version = [] { return helper::readHelperVersion(); }});

    auto bus = helper::openSystemBus();
    if (!bus.connection) {
        log::line("MAVUHelper: " + bus.error);
        return 1;
    }
    auto listener =
        std::make_unique<helper::HelperListener>(std::move(bus.connection), protocol::kBusName);
    // Asks polkit over the listener's connection, so its answers arrive on the bus thread.
    auto authority = std::make_unique<polkit::PolkitAuthority>(
        listener->connection(), polkit::kKeepAwakeAction, helper::ConnectionGate::kCheckLimit);
    auto gate =
        helper::ConnectionGate::create(dispatch.mainQueue(), verifier, *authority,
                                       [](pid_t pid) { return clientcheck::identifyProcess(pid); });
    listener->setDelegate(*service, *gate);

    // Stopping (by systemd or by losing the bus) releases the hold first: nobody would be
    // left to release it.
    int exitStatus = 0;
    bool stopping = false;
    auto stop = [&](int status) {
        if (stopping) {
            return;
        }
        stopping = true;
        exitStatus = status;
        listener->suspend();
        service->forceSafeOff([&dispatch] { dispatch.mainLoop().stop(); });
    };
    listener->setDisconnectionHandler([&dispatch, &stop] {
        dispatch.mainQueue().async([&stop] {
            log::line("MAVUHelper: lost the system bus");
            stop(1);
        });
    });
    std::unique_ptr<dispatch::ReadableWatch> stopWatch;
    if (stopSignals.fd() >= 0) {
        stopWatch = dispatch.mainQueue().watchReadable(stopSignals.fd(), [&] {
            if (stopSignals.takeRequest()) {
                stop(0);
            }
        });
    }

    if (auto error = listener->resume()) {
        log::line("MAVUHelper: " + *error);
        return 1;
    }
    dispatch.mainLoop().run();

    // Replies still queued on the service go out before the connection closes.
    stopWatch.reset();
    service.reset();
    listener->suspend();
    authority.reset();
    listener.reset();
    return exitStatus;
}
