// Drives the app's helper client against whatever daemon the system bus offers and prints
// one line per result, so a test can run it as the app would run, signed or not.
#include <chrono>
#include <cstdio>
#include <string>

#include "app/system/PrivilegedHelperClient.h"
#include "platform/dispatch/RealDispatch.h"
#include "platform/ipc/BusHelperConnection.h"
#include "tests/client/ScriptedDaemonService.h"

namespace {

using namespace mavu;

std::string orDash(const std::optional<std::string>& text) {
    return text ? *text : "-";
}

}  // namespace

int main() {
    dispatch::RealDispatch dispatch;
    // The daemon counts as registered and enabled: the bus starts it on the first call.
    testing::ScriptedServiceManagement services(dispatch.mainQueue());
    auto client = app::PrivilegedHelperClient::create(dispatch.mainQueue(), services,
                                                      std::make_shared<ipc::BusHelperConnector>());

    auto began = std::chrono::steady_clock::now();
    // "answered" when the daemon (or the bus) answered, "timed-out" when the client gave up
    // on the call: its time-out cannot end a call sooner, an answer cannot end it later.
    auto pace = [&began] {
        const auto took = std::chrono::steady_clock::now() - began;
        began = std::chrono::steady_clock::now();
        return took < std::chrono::duration<double>(
                          app::PrivilegedHelperClient::kCallTimeoutSeconds)
                   ? "answered"
                   : "timed-out";
    };
    auto print = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };

    client->arm(3600, false, [&](app::PrivilegedHelperClient::ArmResult armed) {
        print("arm " + std::to_string(armed.ok) + " " + orDash(armed.message) + " " + pace() +
              " lastError=" + orDash(client->lastError().get()));
        client->helperVersion([&](std::optional<protocol::HelperVersion> version) {
            print("version " + (version ? version->shortVersion + " " + version->build : "none") +
                  " " + pace());
            client->disarm([&] {
                print(std::string("disarm ") + pace());
                client->forceSafeOff([&] {
                    print(std::string("forcesafeoff ") + pace());
                    dispatch.mainLoop().stop();
                });
            });
        });
    });
    dispatch.mainLoop().run();
    client.reset();
    return 0;
}
