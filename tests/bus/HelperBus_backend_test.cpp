#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

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
using namespace std::chrono_literals;

const char kAccessDenied[] = "org.freedesktop.DBus.Error.AccessDenied";

// Answers each connection's check from a script, in order of arrival.
class ScriptedVerifier final : public clientcheck::ClientVerifier {
  public:
    explicit ScriptedVerifier(std::deque<bool> answers) : answers_(std::move(answers)) {}
    void checkClient(const clientcheck::ProcessIdentity&, Answer answer) override {
        bool next = false;
        {
            std::lock_guard lock(mutex_);
            if (!answers_.empty()) {
                next = answers_.front();
                answers_.pop_front();
            }
        }
        answer(next);
    }

  private:
    std::mutex mutex_;
    std::deque<bool> answers_;
};

// Lets everyone in: who may use the daemon is the gate's business, tested there.
struct AllowingAuthority final : polkit::Authority {
    void checkAuthorization(const std::string&, Answer answer) override { answer(true); }
};

// Records what reached it and answers from its own serial queue, as the daemon's
// service answers from its state queue.
class RecordingService final : public protocol::HelperProtocol {
  public:
    explicit RecordingService(dispatch::Dispatch& dispatch)
        : queue_(dispatch.makeSerialQueue("test.state")) {}

    void armWithDurationSeconds(double seconds, bool external,
                                protocol::MessageReply reply) override {
        record("arm " + std::to_string(static_cast<int>(seconds)) + (external ? " ext" : ""));
        queue_->async([this, reply] { reply(true, pending); });
    }
    void disarm(protocol::MessageReply reply) override {
        record("disarm");
        queue_->async([reply] { reply(true, std::nullopt); });
    }
    void heartbeat(bool external, protocol::MessageReply reply) override {
        record(std::string("heartbeat") + (external ? " ext" : ""));
        queue_->async([this, reply] { reply(true, pending); });
    }
    void forceSafeOff(protocol::EmptyReply reply) override {
        record("forceSafeOff");
        queue_->async([reply] { reply(); });
    }
    void status(protocol::StatusReply reply) override {
        record("status");
        queue_->async([reply] { reply({true, true, false, 7200, "pending notice"}); });
    }
    void helperVersion(protocol::VersionReply reply) override {
        record("helperVersion");
        reply({"1.2.3", "45"});
    }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    std::optional<std::string> pending;

  private:
    void record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    std::shared_ptr<dispatch::Queue> queue_;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

class Client {
  public:
    explicit Client(const std::string& address)
        : connection_(sdbus::createSessionBusConnectionWithAddress(address)),
          proxy_(sdbus::createProxy(*connection_, protocol::kBusName, protocol::kObjectPath)) {}

    template <class... Args>
    sdbus::MethodReply callOn(const std::string& interface, const std::string& member,
                              const Args&... args) {
        auto message = proxy_->createMethodCall(interface, member);
        ((message << args), ...);
        return proxy_->callMethod(message, std::chrono::microseconds(5s).count());
    }
    template <class... Args>
    sdbus::MethodReply call(const std::string& member, const Args&... args) {
        return callOn(protocol::kInterface, member, args...);
    }
    // The error name a call to the helper's interface failed with, or "" on success.
    template <class... Args>
    std::string failure(const std::string& member, const Args&... args) {
        try {
            call(member, args...);
            return "";
        } catch (const sdbus::Error& error) {
            return error.getName();
        }
    }

  private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

class HelperBusTest : public ::testing::Test {
  protected:
    void start(std::deque<bool> answers) {
        ASSERT_TRUE(bus->running()) << bus->log();
        verifier = std::make_unique<ScriptedVerifier>(std::move(answers));
        gate = ConnectionGate::create(dispatch.mainQueue(), *verifier, authority, [](pid_t pid) {
            return std::optional<clientcheck::ProcessIdentity>({pid, 1});
        });
        listener = std::make_unique<HelperListener>(
            sdbus::createSessionBusConnectionWithAddress(bus->address()), protocol::kBusName);
        listener->setDelegate(service, *gate);
        listener->setDisconnectionHandler([this] { disconnected = true; });
        ASSERT_EQ(listener->resume(), std::nullopt);
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
    std::unique_ptr<ScriptedVerifier> verifier;
    AllowingAuthority authority;
    std::shared_ptr<ConnectionGate> gate;
    std::unique_ptr<HelperListener> listener;
    RecordingService service{dispatch};  // destroyed first, joining its queue
    std::atomic<bool> disconnected{false};
    testing::LogCapture log;
};

TEST_F(HelperBusTest, AcceptedClientReachesEveryMemberAndGetsTheServicesAnswers) {
    start({true});
    Client client(bus->address());

    // Reading into a vector appends, so every reply gets fresh ones.
    auto messageReply = [](sdbus::MethodReply reply) {
        bool success = false;
        std::vector<std::string> message;
        reply >> success >> message;
        EXPECT_TRUE(success);
        return message;
    };
    EXPECT_THAT(messageReply(client.call("Arm", 3600.0, true)), IsEmpty());
    service.pending = "a notice";
    EXPECT_THAT(messageReply(client.call("Heartbeat", false)), ElementsAre("a notice"));

    bool armed = false, lidClosed = false, activeHold = true;
    double duration = 0;
    std::vector<std::string> message;
    client.call("Status") >> armed >> lidClosed >> activeHold >> duration >> message;
    EXPECT_TRUE(armed);
    EXPECT_TRUE(lidClosed);
    EXPECT_FALSE(activeHold);
    EXPECT_EQ(duration, 7200);
    EXPECT_THAT(message, ElementsAre("pending notice"));

    EXPECT_THAT(messageReply(client.call("Disarm")), IsEmpty());
    EXPECT_EQ(client.failure("ForceSafeOff"), "");

    std::string shortVersion, build;
    client.call("HelperVersion") >> shortVersion >> build;
    EXPECT_EQ(shortVersion, "1.2.3");
    EXPECT_EQ(build, "45");

    EXPECT_THAT(service.calls(), ElementsAre("arm 3600 ext", "heartbeat", "status", "disarm",
                                             "forceSafeOff", "helperVersion"));
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST_F(HelperBusTest, RefusedClientIsDeniedEveryMemberLoggedOnceAndForgottenWhenItLeaves) {
    start({true, false});
    auto accepted = std::make_unique<Client>(bus->address());
    EXPECT_EQ(accepted->failure("Status"), "");
    {
        Client refused(bus->address());
        EXPECT_EQ(refused.failure("Arm", 60.0, false), kAccessDenied);
        EXPECT_EQ(refused.failure("Disarm"), kAccessDenied);
        EXPECT_EQ(refused.failure("Heartbeat", true), kAccessDenied);
        EXPECT_EQ(refused.failure("ForceSafeOff"), kAccessDenied);
        EXPECT_EQ(refused.failure("Status"), kAccessDenied);
        EXPECT_EQ(refused.failure("HelperVersion"), kAccessDenied);
        // Anyone may look at the object and ping it.
        EXPECT_NO_THROW(refused.callOn("org.freedesktop.DBus.Introspectable", "Introspect"));
        EXPECT_NO_THROW(refused.callOn("org.freedesktop.DBus.Peer", "Ping"));
        EXPECT_EQ(accepted->failure("Status"), "");
        EXPECT_EQ(gate->rememberedConnections(), 2u);
    }
    EXPECT_THAT(service.calls(), ElementsAre("status", "status"));
    EXPECT_THAT(log.lines(),
                ElementsAre("MAVUHelper: rejected XPC connection from unauthorized pid " +
                            std::to_string(getpid())));
    accepted.reset();
    EXPECT_TRUE(testing::eventually([&] { return gate->rememberedConnections() == 0; }));
}

// Replies leave from the service's queue while the bus thread takes new calls; neither
// may wait for the other.
TEST_F(HelperBusTest, ClientsCallingAtOnceAreAllAnswered) {
    start({true, true, true});
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            Client client(bus->address());
            // A stuck call already costs its 5 s time-out: the first one ends the run.
            for (int i = 0; i < 150; ++i) {
                if (!(i % 2 ? client.failure("Status") : client.failure("Heartbeat", false))
                         .empty()) {
                    return;
                }
                ++answered;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(answered.load(), 450);
}

TEST_F(HelperBusTest, LosingTheBusIsReportedInsteadOfEndingTheProcess) {
    start({true});
    EXPECT_EQ(Client(bus->address()).failure("Status"), "");
    bus.reset();

    EXPECT_TRUE(testing::eventually([&] { return disconnected.load(); }));
    listener.reset();
}

}  // namespace
}  // namespace mavu::helper
