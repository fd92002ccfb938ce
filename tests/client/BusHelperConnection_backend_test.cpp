#include "platform/ipc/BusHelperConnection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/support/TestSystemBus.h"

namespace mavu::ipc {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;
using namespace std::chrono_literals;
using testing::eventually;

// Owns the daemon's name and never answers an Arm: the answers of the real daemon travel
// in the whole app's walkthrough; here only what a bus can do to a call in flight.
class SilentDaemon {
  public:
    SilentDaemon() {
        object_->registerMethod("Arm")
            .onInterface(protocol::kInterface)
            .implementedAs([this](Held&& result, double, bool) {
                held_.push_back(std::move(result));  // on the bus thread only
                ++arrived;
            });
        object_->finishRegistration();
        connection_->enterEventLoopAsync();
    }
    ~SilentDaemon() { connection_->leaveEventLoop(); }
    std::atomic<int> arrived{0};

  private:
    using Held = sdbus::Result<bool, std::vector<std::string>>;
    std::unique_ptr<sdbus::IConnection> connection_ =
        sdbus::createSystemBusConnection(protocol::kBusName);
    std::unique_ptr<sdbus::IObject> object_ =
        sdbus::createObject(*connection_, protocol::kObjectPath);
    std::vector<Held> held_;
};

class BusConnectionTest : public ::testing::Test {
  protected:
    std::shared_ptr<HelperConnection> open() {
        auto attempt = BusHelperConnector().connect();
        EXPECT_TRUE(attempt.connection) << attempt.failure;
        attempt.connection->setInvalidationHandler([this] { invalidations++; });
        attempt.connection->setInterruptionHandler([this] { interruptions++; });
        attempt.connection->resume();
        return attempt.connection;
    }
    // Logs every reply or error the call gets as "name: ...".
    void arm(HelperConnection& connection, const std::string& name) {
        const auto note = [this, name](const std::string& what) {
            std::lock_guard lock(mutex);
            heard.push_back(name + ": " + what);
        };
        connection
            .remoteObjectProxy(
                [=](const ConnectionError& e) { note("error " + e.localizedDescription); })
            ->armWithDurationSeconds(60, true, [=](bool ok, auto) { note(std::to_string(ok)); });
    }
    std::vector<std::string> answers() {
        std::lock_guard lock(mutex);
        return heard;
    }

    testing::TestSystemBus bus;
    std::atomic<int> invalidations{0};
    std::atomic<int> interruptions{0};
    std::mutex mutex;
    std::vector<std::string> heard;
};

// The daemon leaving interrupts and fails what is pending; closing drops what is pending
// and hears nothing more; a lost bus invalidates.
TEST_F(BusConnectionTest, ADepartureInterruptsClosingDropsPendingCallsALostBusInvalidates) {
    auto daemon = std::make_unique<SilentDaemon>();
    auto connection = open();
    arm(*connection, "abandoned");
    ASSERT_TRUE(eventually([&] { return daemon->arrived == 1; }));
    daemon.reset();
    EXPECT_TRUE(eventually([&] { return interruptions == 1 && answers().size() == 1; }));

    daemon = std::make_unique<SilentDaemon>();
    arm(*connection, "dropped");  // never heard of again
    ASSERT_TRUE(eventually([&] { return daemon->arrived == 1; }));
    connection->invalidate();
    daemon.reset();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(invalidations + interruptions, 1);
    arm(*connection, "closed");

    auto second = open();
    bus.stop();
    EXPECT_TRUE(eventually([&] { return invalidations == 1; }));
    arm(*second, "lost");
    EXPECT_TRUE(eventually([&] { return answers().size() == 3; }));
    EXPECT_THAT(answers(), ElementsAre(StartsWith("abandoned: error "),
                                       "closed: error The connection to the helper was closed.",
                                       StartsWith("lost: error ")));
    EXPECT_EQ(interruptions, 1);
}

}  // namespace
}  // namespace mavu::ipc
