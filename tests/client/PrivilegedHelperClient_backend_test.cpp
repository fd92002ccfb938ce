#include "app/system/PrivilegedHelperClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "platform/dispatch/RealDispatch.h"
#include "platform/ipc/BusHelperConnection.h"
#include "tests/client/BusTestDaemon.h"
#include "tests/client/ScriptedDaemonService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSystemBus.h"

namespace mavu::app {
namespace {

using namespace std::chrono_literals;
using testing::BusTestDaemon;
using Clock = std::chrono::steady_clock;

// The client on a real main loop and a real private bus.
class ClientOverBusTest : public ::testing::Test {
  protected:
    // Runs f on the main queue and waits for its result. A main loop that does not get to
    // it within 5 s is stuck: nothing after that can be trusted, so the test ends there
    // instead of hanging until ctest's time-out.
    template <class F>
    auto onMain(F f) {
        auto task = std::make_shared<std::packaged_task<decltype(f())()>>(std::move(f));
        auto result = task->get_future();
        dispatch.mainQueue().async([task] { (*task)(); });
        if (result.wait_for(5s) != std::future_status::ready) {
            std::fprintf(stderr, "The main loop did not run a task within 5 s.\n");
            std::abort();
        }
        return result.get();
    }
    ClientOverBusTest() {
        main_ = std::thread([this] { dispatch.mainLoop().run(); });
    }
    ~ClientOverBusTest() override {
        onMain([this] { client.reset(); });
        dispatch.mainLoop().stop();
        main_.join();
    }
    std::optional<std::string> lastError() {
        return onMain([&] { return client->lastError().get(); });
    }

    testing::TestSystemBus bus;
    dispatch::RealDispatch dispatch;
    testing::ScriptedServiceManagement services{dispatch.mainQueue()};
    std::shared_ptr<PrivilegedHelperClient> client = PrivilegedHelperClient::create(
        dispatch.mainQueue(), services, std::make_shared<ipc::BusHelperConnector>());

  private:
    std::thread main_;
};

using ArmResult = PrivilegedHelperClient::ArmResult;

TEST_F(ClientOverBusTest, ASilentDaemonCostsEachCallThreeSecondsAndALateNoStillCounts) {
    BusTestDaemon daemon(BusTestDaemon::Mode::hold);
    // Written on the main queue only.
    std::vector<double> took;
    ArmResult armed{true, "unanswered"};
    std::optional<protocol::HelperVersion> version = protocol::HelperVersion{};
    onMain([&] {
        auto done = [&took, began = Clock::now()] {
            took.push_back(std::chrono::duration<double>(Clock::now() - began).count());
        };
        client->arm(3600, false, [&, done](ArmResult result) {
            armed = result;
            done();
        });
        client->disarm(done);
        client->forceSafeOff(done);
        client->helperVersion([&, done](auto result) {
            version = result;
            done();
        });
    });
    ASSERT_TRUE(testing::eventually([&] { return onMain([&] { return took.size(); }) == 4; }, 12s));
    EXPECT_EQ(armed, ArmResult{});
    EXPECT_FALSE(version);
    // The client's own time-out, not the bus's 25 s, however busy the machine.
    for (double seconds : took) {
        EXPECT_GE(seconds, 2.95);
        EXPECT_LT(seconds, 10);
    }
    EXPECT_EQ(lastError(), std::nullopt);

    daemon.answerHeld(false, "The Mac is too hot to stay awake.");
    EXPECT_TRUE(
        testing::eventually([&] { return lastError() == "The Mac is too hot to stay awake."; }));
}

}  // namespace
}  // namespace mavu::app
