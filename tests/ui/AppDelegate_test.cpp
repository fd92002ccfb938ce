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

// The delegate on a model in virtual time, with SIGTERM, SIGINT and SIGHUP routed to it.
struct DelegateWorld {
    DelegateWorld() {
        delegate = std::make_unique<AppDelegate>(AppDelegateParts{
            .makeModel = [this](auto) { return world.launch(), world.model; },
            .appearance = std::make_unique<testing::FakeSystemAppearance>(ColorScheme::light),
            .endProcess = [this] { ended.push_back(world.dispatch.elapsedSeconds()); },
        });
        requests = std::make_unique<TerminationRequests>(
            world.dispatch.mainQueue(), [this] { delegate->applicationShouldTerminate(); });
    }
    void signal(int number) {
        ::raise(number);
        world.dispatch.signalReadable(requests->fd());
        world.dispatch.runUntilIdle();
    }

    testing::ModelWorld world;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<TerminationRequests> requests;
    std::vector<double> ended;  // when the process was let go, in virtual seconds
};

// Armed, an outside quit waits for forceSafeOff (3 s at most); a second request while the
// first waits sends nothing more, and the model's fields are left as they were.
TEST(Termination, AnOutsideQuitWhileArmedWaitsForForceSafeOff) {
    const std::tuple<int, bool, bool, double> cases[] = {{SIGTERM, true, true, 0.5},
                                                         {SIGINT, true, false, 3.0},
                                                         {SIGHUP, true, true, 0.5},
                                                         {SIGTERM, false, false, 0.0}};
    for (const auto& [signal, armed, daemonAnswers, endsAt] : cases) {
        SCOPED_TRACE(signal);
        DelegateWorld w;
        if (armed) {
            w.world.arm();
        }
        const double start = w.world.dispatch.elapsedSeconds();
        w.signal(signal);
        if (armed) {
            w.signal(SIGTERM);
        }
        w.world.dispatch.advance(0.5);
        if (daemonAnswers) {
            w.world.answer("ForceSafeOff");
        }
        w.world.dispatch.advance(3.0);
        ASSERT_EQ(w.ended.size(), 1u);
        EXPECT_NEAR(w.ended[0] - start, endsAt, 0.01);
        EXPECT_EQ(w.world.sent(),
                  (armed ? Sent{"ForceSafeOff", "Arm 0", "ForceSafeOff"} : Sent{"ForceSafeOff"}));
        EXPECT_EQ(w.world.model->isArmed().get(), armed);
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
    // The settings sheet: centred on the popover, top edges aligned, scaled on short screens.
    const SheetPlacement tall = sheetPlacement(QRect(808, 30, 408, 503), screen);
    EXPECT_EQ(tall.scale, 1.0);
    EXPECT_EQ(tall.topLeft, QPoint(853, 28));
    const SheetPlacement low = sheetPlacement(QRect(808, 30, 408, 503), QRect(0, 0, 1366, 600));
    EXPECT_NEAR(low.scale, 600.0 / 740, 1e-9);
    EXPECT_EQ(low.topLeft.y(), 0);
}

}  // namespace
}  // namespace mavu::ui
