// mavu-ctl: a command-line client of mavu-helper, signed as the app is. It runs the
// commands given on its command line in order, over one bus connection, and prints one
// line per reply:
//   arm SECONDS EXTERNAL  -> "arm 1 -" or "arm 1 <message>"
//   heartbeat EXTERNAL    -> "heartbeat 1 <message or ->"
//   disarm                -> "disarm 1 <message or ->"
//   forcesafeoff          -> "forcesafeoff"
//   status                -> "status armed=1 lid=0 hold=0 duration=3600 message=<text or ->"
//   version               -> "version <short> <build>"
//   wait                  -> prints "waiting", then reads one line from standard input
// A failed call prints "error <D-Bus error name>". The first line is "pid <pid>".
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "protocol/HelperProtocol.h"
#include "protocol/WireFormat.h"

namespace {

using namespace mavu;

const char kUsage[] =
    "usage: mavu-ctl COMMAND...\n"
    "Runs the commands in order over one connection to mavu-helper:\n"
    "  arm SECONDS EXTERNAL, heartbeat EXTERNAL, disarm, forcesafeoff, status, version,\n"
    "  wait (until a line arrives on standard input)\n"
    "EXTERNAL is 1 with an external display, else 0. The helper is reached on the system\n"
    "bus ($DBUS_SYSTEM_BUS_ADDRESS when set).\n";

constexpr auto kTimeout = std::chrono::seconds(5);

std::string shown(const std::vector<std::string>& message) {
    const auto text = protocol::fromWire(message);
    return text ? *text : "-";
}

class Session {
  public:
    Session()
        : connection_(sdbus::createSystemBusConnection()),
          proxy_(sdbus::createProxy(*connection_, protocol::kBusName, protocol::kObjectPath)) {}

    template <class... Args>
    sdbus::MethodReply call(const std::string& member, const Args&... args) {
        auto message = proxy_->createMethodCall(protocol::kInterface, member);
        ((message << args), ...);
        return proxy_->callMethod(
            message, std::chrono::duration_cast<std::chrono::microseconds>(kTimeout).count());
    }

    std::string messageCall(const std::string& name, sdbus::MethodReply reply) {
        bool success = false;
        std::vector<std::string> message;
        reply >> success >> message;
        return name + " " + std::to_string(success) + " " + shown(message);
    }

  private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

bool flag(const std::string& text) {
    return text == "1" || text == "true";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? std::cerr : std::cout) << kUsage;
        return args.empty() ? 2 : 0;
    }
    std::cout << "pid " << getpid() << std::endl;
    try {
        Session session;
        int failures = 0;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& command = args[i];
            auto next = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : ""; };
            try {
                if (command == "arm") {
                    const double seconds = std::stod(next());
                    const bool external = flag(next());
                    std::cout << session.messageCall("arm", session.call("Arm", seconds, external));
                } else if (command == "heartbeat") {
                    std::cout << session.messageCall("heartbeat",
                                                     session.call("Heartbeat", flag(next())));
                } else if (command == "disarm") {
                    std::cout << session.messageCall("disarm", session.call("Disarm"));
                } else if (command == "forcesafeoff") {
                    session.call("ForceSafeOff");
                    std::cout << "forcesafeoff";
                } else if (command == "status") {
                    bool armed = false, lid = false, hold = false;
                    double duration = 0;
                    std::vector<std::string> message;
                    session.call("Status") >> armed >> lid >> hold >> duration >> message;
                    std::cout << "status armed=" << armed << " lid=" << lid << " hold=" << hold
                              << " duration=" << duration << " message=" << shown(message);
                } else if (command == "version") {
                    std::string shortVersion, build;
                    session.call("HelperVersion") >> shortVersion >> build;
                    std::cout << "version " << shortVersion << " " << build;
                } else if (command == "wait") {
                    std::cout << "waiting" << std::endl;
                    std::string line;
                    std::getline(std::cin, line);
                    continue;
                } else {
                    std::cout << "unknown command " << command << std::endl;
                    std::cerr << kUsage;
                    return 2;
                }
            } catch (const sdbus::Error& error) {
                ++failures;
                std::cout << "error " << error.getName();
            }
            std::cout << std::endl;
        }
        return failures == 0 ? 0 : 1;
    } catch (const sdbus::Error& error) {
        std::cout << "error " << error.getName() << " " << error.getMessage() << std::endl;
        return 1;
    } catch (const std::exception& error) {
        std::cout << "error " << error.what() << std::endl;
        return 2;
    }
}
