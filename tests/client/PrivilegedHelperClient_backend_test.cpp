#include "app/system/PrivilegedHelperClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/dispatch/RealDispatch.h"
#include "platform/ipc/BusHelperConnection.h"
#include "tests/client/BusTestDaemon.h"
#include "tests/client/PrivateBus.h"
#include "tests/client/ScriptedDaemonService.h"

namespace mavu::app {
namespace {

using namespace std::chrono_literals;
using testing::BusTestDaemon;
using Clock = std::chrono::steady_clock;

// The client on a real main loop and a real private bus.
class ClientOverBusTest : public ::testing::Test {
  protected:
    template <class F>
    auto onMain(F f) {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        dispatch.mainQueue().async([&task] { task(); });
        return result.get();
    }
    ClientOverBusTest() {
        main_ = std::thread([this] { dispatch.mainLoop().run(); });
        client = PrivilegedHelperClient::create(dispatch.mainQueue(), services,
                                                std::make_shared<ipc::BusHelperConnector>());
    }
    ~ClientOverBusTest() override {
        onMain([this] { client.reset(); });
        dispatch.mainLoop().stop();
        main_.join();
    }

    // Seconds from now until the completion the operation was given runs.
    template <class T, class Start>
    std::future<std::pair<T, double>> timed(Start start) {
        auto promise = std::make_shared<std::promise<std::pair<T, double>>>();
        auto future = promise->get_future();
        onMain([&, promise] {
            const auto began = Clock::now();
            start([promise, began](T value) {
                promise->set_value(
                    {value, std::chrono::duration<double>(Clock::now() - began).count()});
            });
        });
        return future;
    }
    template <class T>
    static std::pair<T, double> within(std::future<std::pair<T, double>>& f) {
        if (f.wait_for(6s) != std::future_status::ready) {
            ADD_FAILURE() << "no completion";
            return {};
        }
        return f.get();
    }

    testing::PrivateBus bus;
    dispatch::RealDispatch dispatch;
    testing::ScriptedServiceManagement services{dispatch.mainQueue()};
    std::shared_ptr<PrivilegedHelperClient> client;

  private:
    std::thread main_;
};

using ArmResult = PrivilegedHelperClient::ArmResult;
using Version = std::optional<protocol::HelperVersion>;

TEST_F(ClientOverBusTest, ASilentDaemonCostsEachCallThreeSecondsAndALateNoStillCounts) {
    BusTestDaemon daemon(BusTestDaemon::Mode::hold);
    auto arm = timed<ArmResult>([&](auto done) { client->arm(3600, false, done); });
    auto disarm = timed<int>([&](auto done) { client->disarm([done] { done(0); }); });
    auto safeOff = timed<int>([&](auto done) { client->forceSafeOff([done] { done(0); }); });
    auto version = timed<Version>([&](auto done) { client->helperVersion(done); });

    const auto armed = within(arm);
    EXPECT_EQ(armed.first, ArmResult{});
    EXPECT_FALSE(within(version).first);
    for (double took : {armed.second, within(disarm).second, within(safeOff).second}) {
        EXPECT_GE(took, 2.95);
        EXPECT_LT(took, 4.5);
    }
    EXPECT_EQ(onMain([&] { return client->lastError().get(); }), std::nullopt);

    daemon.answerHeld(false, "The Mac is too hot to stay awake.");
    const auto deadline = Clock::now() + 5s;
    while (onMain([&] { return client->lastError().get(); }) == std::nullopt &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(onMain([&] { return client->lastError().get(); }),
              "The Mac is too hot to stay awake.");
}

}  // namespace
}  // namespace mavu::app
