#include "helper/LidMonitor.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/FakePowerRegistry.h"
#include "tests/support/LogCapture.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::helper {
namespace {

using Reports = std::vector<bool>;
using Lines = std::vector<std::string>;

class LidMonitorTest : public ::testing::Test {
  protected:
    std::shared_ptr<LidMonitor> start() {
        auto monitor = LidMonitor::create(registry, d.mainQueue(),
                                          [this](bool closed) { reports.push_back(closed); });
        monitor->start();
        return monitor;
    }

    testing::VirtualDispatch d;
    testing::FakePowerRegistry registry;
    testing::LogCapture log;
    Reports reports;
};

TEST_F(LidMonitorTest, ReportsTheFirstStateAtOnceThenChangesByPollOrNotificationUntilDestroyed) {
    auto monitor = start();
    // A flip and flip-back between two polls goes unseen.
    d.advance(0.05);
    registry.setLid(true);
    d.advance(0.1);
    registry.setLid(false);
    d.advance(1.0);
    EXPECT_EQ(reports, Reports{false});

    registry.setLid(true);
    d.advance(0.2);
    EXPECT_EQ(reports, (Reports{false, true}));
    monitor->start();  // already started: nothing happens
    registry.setLid(false);
    registry.sendNotification();  // re-reads without waiting for the poll
    d.runUntilIdle();
    EXPECT_EQ(reports, (Reports{false, true, false}));
    EXPECT_TRUE(log.lines().empty());

    // Destruction releases every handle, even with a notification still queued.
    registry.setLid(true);
    registry.sendNotification();
    monitor.reset();
    EXPECT_EQ(registry.liveHandles(), 0u);
    d.advance(1.0);
    EXPECT_EQ(reports.size(), 3u);
}

TEST_F(LidMonitorTest, OnlyATrueOrNonZeroClamshellPropertyIsClosedAndNoRootDomainMeansNoWatch) {
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
    // Without a root domain there is nothing to watch.
    registry.rootDomainPresent = false;
    reports.clear();
    auto absent = start();
    d.advance(5.0);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(d.pendingCount(), 0u);
    EXPECT_EQ(log.lines(),
              (Lines{"MAVUHelper: the lid state cannot be read; taking the lid as open",
                     "MAVUHelper: IOPMrootDomain not found"}));
}

}  // namespace
}  // namespace mavu::helper
