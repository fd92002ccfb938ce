#include <gtest/gtest.h>

#include <vector>

#include "helper/LidMonitor.h"
#include "tests/support/FakePowerRegistry.h"
#include "tests/support/LogCapture.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::helper {
namespace {

using Reports = std::vector<bool>;

class LidMonitorTest : public ::testing::Test {
  protected:
    std::shared_ptr<LidMonitor> start() {
        auto monitor = LidMonitor::create(registry, d.mainQueue(),
                                          [this](bool closed) { reports.push_back(closed); });
        monitor->start();
        return monitor;
    }
    void notify() {
        registry.sendNotification();
        d.runUntilIdle();
    }

    testing::VirtualDispatch d;
    testing::FakePowerRegistry registry;
    testing::LogCapture log;
    Reports reports;
};

TEST_F(LidMonitorTest, ReportsTheFirstStateAtOnceAndAfterwardsOnlyChanges) {
    auto monitor = start();
    EXPECT_EQ(reports, Reports{false});
    d.advance(10.0);
    notify();
    EXPECT_EQ(reports, Reports{false});
    // A flip and flip-back between two polls goes unseen.
    d.advance(0.05);
    registry.setLid(true);
    d.advance(0.1);
    registry.setLid(false);
    d.advance(1.0);
    EXPECT_EQ(reports, Reports{false});

    registry.setLid(true);
    d.advance(0.25);
    EXPECT_EQ(reports, (Reports{false, true}));
    monitor->start();  // already started: nothing happens
    EXPECT_EQ(reports.size(), 2u);
    // A notification re-reads without waiting for the poll.
    d.advance(0.1);
    registry.setLid(false);
    notify();
    EXPECT_EQ(reports, (Reports{false, true, false}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LidMonitorTest, PropertyTypesMapToClosedOrOpen) {
    const std::pair<std::optional<hardware::RegistryValue>, bool> cases[] = {
        {std::int64_t{1}, true},   {std::int64_t{0}, false}, {true, true},
        {std::string("1"), false}, {std::nullopt, false},
    };
    for (const auto& [value, closed] : cases) {
        registry.clamshell = value;
        reports.clear();
        start();
        EXPECT_EQ(reports, Reports{closed});
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "MAVUHelper: the lid state cannot be read; taking the lid as open"});
}

TEST_F(LidMonitorTest, StopDetachesEverythingAndStartReportsAfresh) {
    auto monitor = start();
    monitor->stop();
    EXPECT_EQ(registry.liveHandles(), 0u);
    registry.setLid(true);
    registry.sendNotification();
    d.advance(1.0);
    EXPECT_EQ(reports, Reports{false});

    registry.setLid(false);
    monitor->start();
    EXPECT_EQ(reports, (Reports{false, false}));
    monitor.reset();  // destruction stops it too
    EXPECT_EQ(registry.liveHandles(), 0u);
    EXPECT_EQ(registry.strayReleases(), 0);
    registry.setLid(true);
    d.advance(1.0);
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(LidMonitorTest, NoRootDomainLogsOnceAndStaysSilent) {
    registry.rootDomainPresent = false;
    auto monitor = start();
    registry.setLid(true);
    d.advance(5.0);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"MAVUHelper: IOPMrootDomain not found"});
    EXPECT_EQ(d.pendingCount(), 0u);
}

TEST_F(LidMonitorTest, WithoutNotificationsThePollAloneSeesChanges) {
    registry.registrationError = -536870201;
    start()->stop();
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "MAVUHelper: IOServiceAddInterestNotification failed: -536870201"});

    registry.portsAvailable = false;
    auto portless = start();
    EXPECT_EQ(log.lines().size(), 1u);
    registry.setLid(true);
    d.advance(0.25);
    EXPECT_EQ(reports, (Reports{false, false, true}));
}

}  // namespace
}  // namespace mavu::helper
