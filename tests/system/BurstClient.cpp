// A signed client that keeps 100 calls in flight (the system bus lets a connection wait for
// 128 replies at most), sending the next one as each reply arrives; prints each reply as
// it arrives.
//   mavu-test-client-burst COMMAND...    (arm SECONDS EXTERNAL, heartbeat EXTERNAL,
//                                         disarm, status: as mavu-ctl takes them)
// Output: "pid <pid>", then one line "<index> <reply>" per reply in the order the replies
// arrived (index counts commands from 0; replies read as mavu-ctl prints them), then
// "done", or "timeout" when replies were missing after 60 s.
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/HelperProtocol.h"
#include "protocol/WireFormat.h"

namespace {

using namespace mavu;

// The system bus lets a connection wait for at most 128 replies at a time.
constexpr std::size_t kInFlight = 100;

std::string shown(const std::vector<std::string>& message) {
    const auto text = protocol::fromWire(message);
    return text ? *text : "-";
}

std::string replyText(const std::string& command, sdbus::MethodReply& reply) {
    std::ostringstream text;
    if (command == "status") {
        bool armed = false, lid = false, hold = false;
        double duration = 0;
        std::vector<std::string> message;
        reply >> armed >> lid >> hold >> duration >> message;
        text << "status armed=" << armed << " lid=" << lid << " hold=" << hold
             << " duration=" << duration << " message=" << shown(message);
    } else {
        bool success = false;
        std::vector<std::string> message;
        reply >> success >> message;
        text << command << " " << success << " " << shown(message);
    }
    return text.str();
}

struct Call {
    std::string command;
    std::vector<std::string> arguments;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<Call> calls;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::size_t count = args[i] == "arm" ? 2 : args[i] == "heartbeat" ? 1 : 0;
        if (args[i] != "arm" && args[i] != "heartbeat" && args[i] != "disarm" &&
            args[i] != "status") {
            std::cerr << "unknown command " << args[i] << "\n";
            return 2;
        }
        if (i + count >= args.size()) {
            std::cerr << args[i] << " needs " << count << " arguments\n";
            return 2;
        }
        calls.push_back({args[i], {args.begin() + i + 1, args.begin() + i + 1 + count}});
        i += count;
    }
    std::cout << "pid " << getpid() << std::endl;
    auto connection = sdbus::createSystemBusConnection();
    auto proxy = sdbus::createProxy(*connection, protocol::kBusName, protocol::kObjectPath);

    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> lines;
    std::size_t sent = 0;
    // Sends the next call; first from here, then from the bus thread as replies come in.
    std::function<void()> sendNext = [&] {
        if (sent == calls.size()) {
            return;
        }
        const std::size_t index = sent++;
        const Call& call = calls[index];
        const char* member = call.command == "arm"         ? "Arm"
                             : call.command == "heartbeat" ? "Heartbeat"
                             : call.command == "disarm"    ? "Disarm"
                                                           : "Status";
        auto message = proxy->createMethodCall(protocol::kInterface, member);
        if (call.command == "arm") {
            message << std::stod(call.arguments[0]) << (call.arguments[1] == "1");
        } else if (call.command == "heartbeat") {
            message << (call.arguments[0] == "1");
        }
        proxy->callMethod(
            message,
            [&, index](sdbus::MethodReply& reply, const sdbus::Error* error) {
                const std::string text =
                    error ? "error " + error->getName() : replyText(calls[index].command, reply);
                {
                    std::lock_guard lock(mutex);
                    lines.push_back(std::to_string(index) + " " + text);
                }
                arrived.notify_all();
                sendNext();
            },
            std::chrono::seconds(60));
    };
    for (std::size_t i = 0; i < kInFlight; ++i) {
        sendNext();
    }
    connection->enterEventLoopAsync();
    std::unique_lock lock(mutex);
    const bool complete = arrived.wait_for(lock, std::chrono::seconds(60),
                                           [&] { return lines.size() == calls.size(); });
    for (const auto& line : lines) {
        std::cout << line << "\n";
    }
    std::cout << (complete ? "done" : "timeout") << std::endl;
    lock.unlock();
    connection->leaveEventLoop();
    return complete ? 0 : 1;
}
