// The daemon's way in (the real listener and gate) on a private bus under the helper's
// own policy, in front of a service that records what reached it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <mutex>

#include "helper/bus/ConnectionGate.h"
#include "helper/bus/HelperListener.h"
#include "platform/dispatch/RealDispatch.h"
#include "tests/support/TempDir.h"
#include "tests/system/harness/PrivateBus.h"

namespace mavu::helper {
namespace {

using Message = std::vector<std::string>;
using namespace std::chrono_literals;

const char kAccessDenied[] = "org.freedesktop.DBus.Error.AccessDenied";

// Answers each connection's check from a script, in order of arrival; polkit allows all.
struct ScriptedChecks final : clientcheck::ClientVerifier, polkit::Authority {
    void checkClient(const clientcheck::ProcessIdentity&, ClientVerifier::Answer answer) override {
        const std::size_t index = asked++;
        answer(index < answers.size() && answers[index]);
    }
    void checkAuthorization(const std::string&, Authority::Answer answer) override { answer(true); }
    std::vector<bool> answers;
    std::atomic<std::size_t> asked{0};
};

// Counts the calls that reached it and answers from its own serial queue, as the
// daemon's service answers from its state queue; an arm's message is its duration.
class CountingService final : public protocol::HelperProtocol {
  public:
    explicit CountingService(dispatch::Dispatch& dispatch)
        : queue_(dispatch.makeSerialQueue("test.state")) {}

    void armWithDurationSeconds(double seconds, bool, protocol::MessageReply reply) override {
        answer([=] { reply(true, std::to_string(static_cast<int>(seconds))); });
    }
    void disarm(protocol::MessageReply reply) override {
        answer([=] { reply(true, std::nullopt); });
    }
    void heartbeat(bool, protocol::MessageReply reply) override {
        answer([=] { reply(true, std::nullopt); });
    }
    void forceSafeOff(protocol::EmptyReply reply) override { answer(reply); }
    void status(protocol::StatusReply reply) override {
        answer([=] { reply({}); });
    }
    void helperVersion(protocol::VersionReply reply) override {
        answer([=] { reply({}); });
    }
    std::atomic<int> reached{0};

  private:
    void answer(std::function<void()> reply) {
        ++reached;
        queue_->async(std::move(reply));
    }
    std::shared_ptr<dispatch::Queue> queue_;
};

class HelperBusTest : public ::testing::Test {
  protected:
    void start(std::vector<bool> answers) {
        ASSERT_TRUE(bus->running()) << bus->log();
        checks.answers = std::move(answers);
        gate = ConnectionGate::create(dispatch.mainQueue(), checks, checks, [](pid_t pid) {
            return std::optional<clientcheck::ProcessIdentity>({pid, 1});
        });
        listener = std::make_unique<HelperListener>(
            sdbus::createSessionBusConnectionWithAddress(bus->address()), protocol::kBusName);
        listener->setDelegate(service, *gate);
        ASSERT_EQ(listener->resume(), std::nullopt);
    }
    // A client with a connection (and event loop) of its own.
    std::unique_ptr<sdbus::IProxy> client() {
        return sdbus::createProxy(sdbus::createSessionBusConnectionWithAddress(bus->address()),
                                  protocol::kBusName, protocol::kObjectPath);
    }
    // The error name a call failed with, or "" on success.
    template <class... Args>
    static std::string failure(sdbus::IProxy& proxy, const std::string& member,
                               const std::string& interface, const Args&... args) {
        try {
            auto message = proxy.createMethodCall(interface, member);
            ((message << args), ...);
            proxy.callMethod(message, std::chrono::microseconds(5s).count());
            return "";
        } catch (const sdbus::Error& error) {
            return error.getName();
        }
    }

    // Ends as the daemon does: no call comes in any more, the service's queue finishes
    // (its replies still need the connection), then the listener and its connection go.
    ~HelperBusTest() override {
        if (listener) {
            listener->suspend();
        }
    }

    testing::TempDir dir;
    std::unique_ptr<testing::PrivateBus> bus =
        std::make_unique<testing::PrivateBus>(dir.path(), MAVU_TEST_BUS_POLICY);
    dispatch::RealDispatch dispatch;
    ScriptedChecks checks;
    std::shared_ptr<ConnectionGate> gate;
    std::unique_ptr<HelperListener> listener;
    CountingService service{dispatch};  // destroyed first, joining its queue
};

// Why a client is refused, and what is logged, is the gate test's; here that every
// member passes the gate and a client is forgotten once it leaves.
TEST_F(HelperBusTest, ARefusedClientIsDeniedEveryMemberAndForgottenWhenItLeaves) {
    start({true, false});
    const std::string helper = protocol::kInterface;
    auto accepted = client();
    EXPECT_EQ(failure(*accepted, "Status", helper), "");
    {
        const auto refused = client();
        EXPECT_EQ(failure(*refused, "Arm", helper, 60.0, false), kAccessDenied);
        EXPECT_EQ(failure(*refused, "Heartbeat", helper, true), kAccessDenied);
        for (const char* member : {"Disarm", "ForceSafeOff", "Status", "HelperVersion"}) {
            EXPECT_EQ(failure(*refused, member, helper), kAccessDenied) << member;
        }
        // Anyone may look at the object and ping it.
        EXPECT_EQ(failure(*refused, "Introspect", "org.freedesktop.DBus.Introspectable"), "");
        EXPECT_EQ(failure(*refused, "Ping", "org.freedesktop.DBus.Peer"), "");
        EXPECT_EQ(gate->rememberedConnections(), 2u);
    }
    EXPECT_EQ(service.reached, 1);
    accepted.reset();
    EXPECT_TRUE(testing::eventually([&] { return gate->rememberedConnections() == 0; }));
}

// Three clients keep 100 calls each in flight (the system bus lets a connection wait for
// 128 replies at most) while replies leave from the service's queue: neither side may
// wait for the other, and each client's calls are answered in the order sent. (Every
// member's answer travels in the whole-daemon test.)
TEST_F(HelperBusTest, ClientsWithManyCallsInFlightAreAnsweredInOrder) {
    start({true, true, true});
    std::mutex mutex;
    std::vector<Message> replies(3);
    std::vector<std::unique_ptr<sdbus::IProxy>> clients;
    for (std::size_t c = 0; c < 3; ++c) {
        clients.push_back(client());
        for (int i = 0; i < 100; ++i) {
            clients[c]
                ->callMethodAsync("Arm")
                .onInterface(protocol::kInterface)
                .withArguments(static_cast<double>(i), false)
                .uponReplyInvoke([&, c](const sdbus::Error* error, bool, Message message) {
                    std::lock_guard lock(mutex);
                    replies[c].push_back(error ? error->getName() : message.at(0));
                });
        }
    }
    Message inOrder;
    for (int i = 0; i < 100; ++i) {
        inOrder.push_back(std::to_string(i));
    }
    EXPECT_TRUE(testing::eventually([&] {
        std::lock_guard lock(mutex);
        return replies == std::vector<Message>(3, inOrder);
    })) << ::testing::PrintToString(replies);
}

}  // namespace
}  // namespace mavu::helper
