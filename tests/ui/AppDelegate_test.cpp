#include "app/ui/AppDelegate.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "app/ui/Popover.h"
#include "app/ui/TerminationRequests.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/FakeSystemAppearance.h"
#include "tests/support/QtTestApplication.h"

namespace mavu::ui {
namespace {

using Sent = std::vector<std::string>;

// Armed, an outside quit (SIGTERM, SIGINT, SIGHUP) waits for forceSafeOff, 3 s at most; a
// second request while the first waits sends nothing more, and the model's fields are left
// as they were. Unarmed, the process ends at once.
TEST(Termination, AnOutsideQuitWhileArmedWaitsForForceSafeOff) {
    // The signal, whether the daemon answers after 0.5 s, when the process is let go.
    const std::tuple<int, bool, double> cases[] = {
        {SIGTERM, true, 0.5}, {SIGINT, false, 3.0}, {SIGHUP, true, 0.5}, {SIGTERM, false, 0.0}};
    for (const auto& [signal, daemonAnswers, endsAt] : cases) {
        SCOPED_TRACE(signal);
        testing::ModelWorld world;
        std::vector<double> ended;
        AppDelegate delegate(AppDelegateParts{
            .makeModel = [&](auto) { return world.launch(), world.model; },
            .appearance = std::make_unique<testing::FakeSystemAppearance>(ColorScheme::light),
            .endProcess = [&] { ended.push_back(world.dispatch.elapsedSeconds()); },
        });
        TerminationRequests requests(world.dispatch.mainQueue(),
                                     [&] { delegate.applicationShouldTerminate(); });
        const auto request = [&](int number) {
            ::raise(number);
            world.dispatch.signalReadable(requests.fd());
            world.dispatch.runUntilIdle();
        };
        const bool armed = endsAt > 0;
        if (armed) {
            world.arm();
        }
        const double start = world.dispatch.elapsedSeconds();
        request(signal);
        if (armed) {
            request(SIGTERM);
        }
        world.dispatch.advance(0.5);
        if (daemonAnswers) {
            world.answer("ForceSafeOff");
        }
        world.dispatch.advance(3.0);
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_NEAR(ended[0] - start, endsAt, 0.01);
        EXPECT_EQ(world.sent(),
                  (armed ? Sent{"ForceSafeOff", "Arm 0", "ForceSafeOff"} : Sent{"ForceSafeOff"}));
        EXPECT_EQ(world.model->isArmed().get(), armed);
    }
}

TEST(PopoverPlacement, BesideTheIconOrAtThePointerAlwaysOnScreen) {
    const QRect screen(0, 0, 1366, 768);
    const std::tuple<QRect, QPoint, QPoint> cases[] = {
        {{1000, 0, 24, 24}, {}, {808, 30}},    // below an icon on a top panel
        {{500, 744, 24, 24}, {}, {308, 235}},  // above an icon on a bottom panel
        {{1340, 0, 24, 24}, {}, {958, 30}},    // kept inside at the right edge
        {{}, {700, 10}, {496, 16}},            // at the pointer without icon geometry
        {{}, {100, 760}, {0, 251}},            // above a pointer low on the screen
    };
    for (const auto& [icon, pointer, topLeft] : cases) {
        EXPECT_EQ(popoverPosition(icon, pointer, screen, QSize(408, 503)), topLeft) << topLeft.x();
    }
    // The settings sheet is scaled down on short screens (its alignment: the popover test).
    const SheetPlacement low = sheetPlacement(QRect(808, 30, 408, 503), QRect(0, 0, 1366, 600));
    EXPECT_NEAR(low.scale, 600.0 / 740, 1e-9);
    EXPECT_EQ(low.topLeft.y(), 0);
}

}  // namespace
}  // namespace mavu::ui
