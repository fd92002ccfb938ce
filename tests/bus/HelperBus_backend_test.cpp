// The daemon's way in (the real listener and gate) on a private bus under the helper's
// own policy, in front of a service that records what reached it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <deque>
#include <mutex>

#include "helper/bus/ConnectionGate.h"
#include "helper/bus/HelperListener.h"
#include "platform/dispatch/RealDispatch.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/system/harness/PrivateBus.h"

namespace mavu::helper {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Message = std::vector<std::string>;
using namespace std::chrono_literals;

const char kAccessDenied[] = "org.freedesktop.DBus.Error.AccessDenied";

// Answers each connection's check from a script, in order of arrival; polkit allows all.
struct ScriptedChecks final : clientcheck::ClientVerifier, polkit::Authority {
    void checkClient(const clientcheck::ProcessIdentity&, ClientVerifier::Answer answer) override {
        std::unique_lock lock(mutex);
        const bool next = !answers.empty() && answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        lock.unlock();
        answer(next);
    }
    void checkAuthorization(const std::string&, Authority::Answer answer) override { answer(true); }
    std::mutex mutex;
    std::deque<bool> answers;
};

// Records what reached it and answers from its own serial queue, as the daemon's service
// answers from its state queue; an arm's message is its duration.
class RecordingService final : public protocol::HelperProtocol {
  public:
    explicit RecordingService(dispatch::Dispatch& dispatch)
        : queue_(dispatch.makeSerialQueue("test.state")) {}

    void armWithDurationSeconds(double seconds, bool external,
                                protocol::MessageReply reply) override {
        const auto text = std::to_string(static_cast<int>(seconds));
        record("arm " + text + (external ? " ext" : ""), [=] { reply(true, text); });
    }
    void disarm(protocol::MessageReply reply) override {
        record("disarm", [=] { reply(true, std::nullopt); });
    }
    void heartbeat(bool external, protocol::MessageReply reply) override {
        record(external ? "heartbeat ext" : "heartbeat", [=] { reply(true, "a notice"); });
    }
    void forceSafeOff(protocol::EmptyReply reply) override { record("forceSafeOff", reply); }
    void status(protocol::StatusReply reply) override {
        record("status", [=] { reply({true, true, false, 7200, "pending notice"}); });
    }
    void helperVersion(protocol::VersionReply reply) override {
        record("helperVersion", {});
        reply({"1.2.3", "45"});
    }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    void record(std::string call, std::function<void()> answer) {
        std::lock_guard lock(mutex_);
        if (calls_.size() < 10) {
            calls_.push_back(std::move(call));
        }
        if (answer) {
            queue_->async(std::move(answer));
        }
    }

    std::shared_ptr<dispatch::Queue> queue_;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

class HelperBusTest : public ::testing::Test {
  protected:
    void start(std::deque<bool> answers) {
        ASSERT_TRUE(bus->running()) << bus->log();
        checks.answers = std::move(answers);
        gate = ConnectionGate::create(dispatch.mainQueue(), checks, checks, [](pid_t pid) {
            return std::optional<clientcheck::ProcessIdentity>({pid, 1});
        });
        listener = std::make_unique<HelperListener>(
            sdbus::createSessionBusConnectionWithAddress(bus->address()), protocol::kBusName);
        listener->setDelegate(service, *gate);
        listener->setDisconnectionHandler([this] { disconnected = true; });
        ASSERT_EQ(listener->resume(), std::nullopt);
    }
    // A client with a connection (and event loop) of its own.
    std::unique_ptr<sdbus::IProxy> client() {
        return sdbus::createProxy(sdbus::createSessionBusConnectionWithAddress(bus->address()),
                                  protocol::kBusName, protocol::kObjectPath);
    }
    template <class... Args>
    static sdbus::MethodReply call(sdbus::IProxy& proxy, const std::string& member,
                                   const Args&... args) {
        auto message = proxy.createMethodCall(protocol::kInterface, member);
        ((message << args), ...);
        return proxy.callMethod(message, std::chrono::microseconds(5s).count());
    }
    // The error name a call failed with, or "" on success.
    static std::string failure(const std::function<void()>& call) {
        try {
            call();
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
    std::unique_ptr<testing::PrivateBus> bus = std::make_unique<testing::PrivateBus>(
        dir.path(), testing::BusSetup{{MAVU_TEST_BUS_POLICY}, {}, {protocol::kBusName}});
    dispatch::RealDispatch dispatch;
    ScriptedChecks checks;
    std::shared_ptr<ConnectionGate> gate;
    std::unique_ptr<HelperListener> listener;
    RecordingService service{dispatch};  // destroyed first, joining its queue
    std::atomic<bool> disconnected{false};
    testing::LogCapture log;
};

TEST_F(HelperBusTest, AnAcceptedClientReachesEveryMemberAndGetsTheServicesAnswers) {
    start({true});
    const auto proxy = client();
    bool success = false, armed = false, lidClosed = false, activeHold = true;
    double duration = 0;
    Message armMessage, heartbeatMessage, statusMessage, disarmMessage;
    std::string shortVersion, build;
    call(*proxy, "Arm", 3600.0, true) >> success >> armMessage;
    EXPECT_TRUE(success);
    call(*proxy, "Heartbeat", false) >> success >> heartbeatMessage;
    call(*proxy, "Status") >> armed >> lidClosed >> activeHold >> duration >> statusMessage;
    call(*proxy, "Disarm") >> success >> disarmMessage;
    call(*proxy, "ForceSafeOff");
    call(*proxy, "HelperVersion") >> shortVersion >> build;
    EXPECT_THAT(armMessage, ElementsAre("3600"));
    EXPECT_THAT(heartbeatMessage, ElementsAre("a notice"));
    EXPECT_TRUE(armed && lidClosed && !activeHold);
    EXPECT_EQ(duration, 7200);
    EXPECT_THAT(statusMessage, ElementsAre("pending notice"));
    EXPECT_THAT(disarmMessage, IsEmpty());
    EXPECT_EQ(shortVersion + " " + build, "1.2.3 45");
    EXPECT_THAT(service.calls(), ElementsAre("arm 3600 ext", "heartbeat", "status", "disarm",
                                             "forceSafeOff", "helperVersion"));
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST_F(HelperBusTest, ARefusedClientIsDeniedEveryMemberLoggedOnceAndForgottenWhenItLeaves) {
    start({true, false});
    auto accepted = client();
    EXPECT_EQ(failure([&] { call(*accepted, "Status"); }), "");
    {
        const auto refused = client();
        EXPECT_EQ(failure([&] { call(*refused, "Arm", 60.0, false); }), kAccessDenied);
        EXPECT_EQ(failure([&] { call(*refused, "Heartbeat", true); }), kAccessDenied);
        for (const char* member : {"Disarm", "ForceSafeOff", "Status", "HelperVersion"}) {
            EXPECT_EQ(failure([&] { call(*refused, member); }), kAccessDenied) << member;
        }
        // Anyone may look at the object and ping it.
        EXPECT_EQ(failure([&] {
                      refused->callMethod("Introspect")
                          .onInterface("org.freedesktop.DBus.Introspectable");
                  }),
                  "");
        EXPECT_EQ(
            failure([&] { refused->callMethod("Ping").onInterface("org.freedesktop.DBus.Peer"); }),
            "");
        EXPECT_EQ(failure([&] { call(*accepted, "Status"); }), "");
        EXPECT_EQ(gate->rememberedConnections(), 2u);
    }
    EXPECT_THAT(service.calls(), ElementsAre("status", "status"));
    EXPECT_THAT(log.lines(),
                ElementsAre("MAVUHelper: rejected XPC connection from unauthorized pid " +
                            std::to_string(getpid())));
    accepted.reset();
    EXPECT_TRUE(testing::eventually([&] { return gate->rememberedConnections() == 0; }));
}

// Three clients keep 100 calls each in flight (the system bus lets a connection wait for
// 128 replies at most) while replies leave from the service's queue: neither side may
// wait for the other, and each client's calls are answered in the order sent.
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

TEST_F(HelperBusTest, LosingTheBusIsReportedInsteadOfEndingTheProcess) {
    start({true});
    EXPECT_EQ(failure([&] { call(*client(), "Status"); }), "");
    bus.reset();
    EXPECT_TRUE(testing::eventually([&] { return disconnected.load(); }));
    listener.reset();
}

}  // namespace
}  // namespace mavu::helper
