// Drives the app's helper client against whatever daemon the system bus offers and prints
// one line per result, so a test can run it as the app would run, signed or not.
#include <chrono>
#include <cstdio>
#include <string>

#include "app/system/PrivilegedHelperClient.h"
#include "platform/dispatch/RealDispatch.h"
#include "platform/ipc/BusHelperConnection.h"
#include "tests/client/ScriptedDaemonService.h"

int main() {
    using namespace mavu;
    using Clock = std::chrono::steady_clock;
    dispatch::RealDispatch dispatch;
    // The daemon counts as registered and enabled: the bus starts it on the first call.
    testing::ScriptedServiceManagement services(dispatch.mainQueue());
    auto client = app::PrivilegedHelperClient::create(dispatch.mainQueue(), services,
                                                      std::make_shared<ipc::BusHelperConnector>());
    // "answered" when the daemon (or the bus) answered, "timed-out" when the client gave up
    // on the call: its time-out cannot end a call sooner, an answer cannot end it later.
    auto began = Clock::now();
    auto say = [&](const std::string& line) {
        const std::chrono::duration<double> took = Clock::now() - began;
        const bool answered = took.count() < app::PrivilegedHelperClient::kCallTimeoutSeconds;
        std::printf("%s %s\n", line.c_str(), answered ? "answered" : "timed-out");
        std::fflush(stdout);
        began = Clock::now();
    };
    client->arm(3600, false, [&](app::PrivilegedHelperClient::ArmResult armed) {
        say("arm " + std::to_string(armed.ok) + " " + armed.message.value_or("-") +
            " lastError=" + client->lastError().get().value_or("-"));
        client->helperVersion([&](std::optional<protocol::HelperVersion> version) {
            say("version " + (version ? version->shortVersion + " " + version->build : "none"));
            client->disarm([&] {
                say("disarm");
                dispatch.mainLoop().stop();
            });
        });
    });
    dispatch.mainLoop().run();
    client.reset();
    return 0;
}
