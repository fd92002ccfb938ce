#include "app/ui/AppDelegate.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "app/ui/TerminationRequests.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/FakeSystemAppearance.h"
#include "tests/updater/QtApplication.h"

namespace mavu::ui {
namespace {

using Sent = std::vector<std::string>;

// The delegate on a model in virtual time, with SIGTERM, SIGINT and SIGHUP routed to it.
struct DelegateWorld {
    DelegateWorld() {
        testing::ensureQtApplication();
        delegate = std::make_unique<AppDelegate>(AppDelegateParts{
            .makeModel = [this](auto) { return world.launch(), world.model; },
            .appearance = std::make_unique<testing::FakeSystemAppearance>(ColorScheme::light),
            .endProcess = [this] { ended.push_back(world.dispatch.elapsedSeconds()); },
        });
        requests = std::make_unique<TerminationRequests>(
            world.dispatch.mainQueue(), [this] { delegate->applicationShouldTerminate(); });
    }
    void arm() {
        world.model->toggle();
        world.dispatch.runUntilIdle();
        world.answer("Arm");
        world.dispatch.runUntilIdle();
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

TEST(Termination, AnOutsideQuitWhileArmedWaitsForForceSafeOff) {
    struct Case {
        int signal;
        bool daemonAnswers;
        double endsAt;
    } cases[] = {{SIGTERM, true, 0.5}, {SIGINT, false, 3.0}, {SIGHUP, true, 0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        DelegateWorld w;
        w.arm();
        const double start = w.world.dispatch.elapsedSeconds();
        w.signal(c.signal);
        EXPECT_EQ(w.world.sent().back(), "ForceSafeOff");
        EXPECT_TRUE(w.ended.empty());
        // A second request while the first waits sends nothing more.
        w.signal(SIGTERM);
        w.world.dispatch.advance(0.5);
        if (c.daemonAnswers) {
            w.world.answer("ForceSafeOff");
        }
        w.world.dispatch.advance(3.0);
        ASSERT_EQ(w.ended.size(), 1u);
        EXPECT_NEAR(w.ended[0] - start, c.endsAt, 0.01);
        EXPECT_EQ(w.world.sent(), (Sent{"ForceSafeOff", "Arm 0", "ForceSafeOff"}));
        // The model's fields are left as they were.
        EXPECT_TRUE(w.world.model->isArmed().get());
    }
}

TEST(Termination, AnOutsideQuitWhileUnarmedEndsAtOnce) {
    DelegateWorld w;
    w.signal(SIGTERM);
    EXPECT_EQ(w.ended, std::vector<double>{w.world.dispatch.elapsedSeconds()});
    EXPECT_EQ(w.world.sent(), Sent{"ForceSafeOff"});
}

TEST(ContextMenu, EntriesAreReadWhenTheMenuIsBuilt) {
    DelegateWorld w;
    auto titles = [&] {
        w.delegate->showContextMenu();
        std::vector<std::string> result;
        for (QAction* action : w.delegate->menu()->actions()) {
            result.push_back(action->isSeparator() ? "-"
                             : action->isEnabled() ? action->text().toStdString()
                                                   : "(" + action->text().toStdString() + ")");
        }
        EXPECT_EQ(w.delegate->menu()->actions().back()->shortcut(),
                  QKeySequence(Qt::CTRL | Qt::Key_Q));
        return result;
    };
    EXPECT_EQ(titles(),
              (Sent{"Open MAVU", "Turn On", "-", "Check for Updates…", "-", "Quit MAVU"}));
    w.arm();
    w.world.updater->canCheck = false;
    EXPECT_EQ(titles(),
              (Sent{"Open MAVU", "Turn Off", "-", "(Check for Updates…)", "-", "Quit MAVU"}));
    w.delegate->menu()->actions()[1]->trigger();
    w.world.dispatch.runUntilIdle();
    EXPECT_EQ(w.world.sent().back(), "Disarm");
    w.world.updater->canCheck = true;
    titles();
    w.delegate->menu()->actions()[3]->trigger();
    EXPECT_EQ(w.world.updater->checks, 1);
}

TEST(PopoverPlacement, BesideTheIconOrAtThePointerAlwaysOnScreen) {
    const QRect screen(0, 0, 1366, 768);
    const QSize size(408, 503);
    struct Case {
        const char* what;
        QRect icon;
        QPoint pointer;
        QPoint topLeft;
    } cases[] = {
        {"below an icon on a top panel", {1000, 0, 24, 24}, {}, {808, 30}},
        {"above an icon on a bottom panel", {500, 744, 24, 24}, {}, {308, 235}},
        {"kept inside at the right edge", {1340, 0, 24, 24}, {}, {958, 30}},
        {"at the pointer without icon geometry", {}, {700, 10}, {496, 16}},
        {"above a pointer low on the screen", {}, {100, 760}, {0, 251}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(popoverPosition(c.icon, c.pointer, screen, size), c.topLeft) << c.what;
    }
    // The settings sheet: centred on the popover, top edges aligned, scaled on short screens.
    const SheetPlacement tall = sheetPlacement(QRect(808, 30, 408, 503), screen);
    EXPECT_EQ(tall.scale, 1.0);
    EXPECT_EQ(tall.topLeft, QPoint(853, 28));
    const SheetPlacement shortScreen =
        sheetPlacement(QRect(808, 30, 408, 503), QRect(0, 0, 1366, 600));
    EXPECT_NEAR(shortScreen.scale, 600.0 / 740, 1e-9);
    EXPECT_EQ(shortScreen.topLeft.y(), 0);
}

}  // namespace
}  // namespace mavu::ui
