#include "app/ui/MainPanelView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "app/ui/RootAppearanceView.h"
#include "app/ui/StatusIcon.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/FakeSystemAppearance.h"
#include "tests/updater/QtApplication.h"

namespace mavu::ui {
namespace {

using app::AppearancePreference;
using app::DurationOption;

QImage render(MainPanelView& view) {
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image);
    return image;
}

// The colour at a canvas point, as the popover shows it.
QColor probe(MainPanelView& view, const QImage& image, QPointF canvasPoint) {
    return image.pixelColor(view.toWidget(canvasPoint).toPoint());
}

::testing::AssertionResult near(const QColor& actual, const QColor& expected) {
    const int distance = std::max({std::abs(actual.red() - expected.red()),
                                   std::abs(actual.green() - expected.green()),
                                   std::abs(actual.blue() - expected.blue())});
    if (distance <= 3) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << actual.name().toStdString() << " is not " << expected.name().toStdString();
}

QPoint centreOf(const MainPanelView& view, const QString& control) {
    const auto c = view.control(control);
    EXPECT_TRUE(c.has_value()) << control.toStdString();
    return c ? view.toWidget(c->frame.center()).toPoint() : QPoint();
}

TEST(MainPanel, EveryStateIsDrawnInItsColoursAt408By503) {
    testing::ensureQtApplication();
    struct Case {
        bool armed;
        ColorScheme scheme;
        QColor background, mainFill, selectedFill;
        const char *title, *subtitle, *character;
    } cases[] = {
        {false, ColorScheme::light, panelLight(), panelLight(), selectedAmber(), "SLEEP MODE",
         "Mac sleeps normally when lid closes.", "CharacterSleepingLight"},
        {true, ColorScheme::light, panelLight(), accentRed(), accentRed(), "MAVU IS ON",
         "Mac stays awake when lid closes.", "CharacterAwakeLight"},
        {false, ColorScheme::dark, panelDark(), panelLight(), selectedAmber(), "SLEEP MODE",
         "Mac sleeps normally when lid closes.", "CharacterSleepingDark"},
        {true, ColorScheme::dark, panelDark(), accentRed(), accentRed(), "MAVU IS ON",
         "Mac stays awake when lid closes.", "CharacterAwakeDark"},
    };
    MainPanelView view({});
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.title) + (isDark(c.scheme) ? " dark" : " light"));
        MainPanelState state;
        state.isArmed = c.armed;
        state.duration = DurationOption::two;
        state.scheme = c.scheme;
        view.setState(state);
        const QImage image = render(view);
        EXPECT_EQ(image.size(), QSize(408, 503));
        EXPECT_TRUE(near(probe(view, image, {20, 300}), c.background));
        const QRectF main = view.control(MainPanelView::kMainButton)->frame;
        EXPECT_TRUE(near(probe(view, image, {main.center().x(), main.top() + 14}), c.mainFill));
        const QRectF selected =
            view.control(MainPanelView::durationControl(DurationOption::two))->frame;
        EXPECT_TRUE(near(probe(view, image, selected.topLeft() + QPointF(10, 9)), c.selectedFill));
        // Unselected durations are not filled.
        const QRectF other =
            view.control(MainPanelView::durationControl(DurationOption::one))->frame;
        EXPECT_TRUE(near(probe(view, image, other.topLeft() + QPointF(10, 9)), c.background));
        EXPECT_EQ(MainPanelView::title(c.armed), c.title);
        EXPECT_EQ(MainPanelView::subtitle(c.armed), c.subtitle);
        EXPECT_EQ(MainPanelView::characterImage(c.armed, c.scheme), c.character);
    }
    // The infinite choice is the wider one.
    EXPECT_EQ(view.control(MainPanelView::durationControl(DurationOption::infinite))->frame.width(),
              80);
    EXPECT_EQ(view.control(MainPanelView::durationControl(DurationOption::eight))->frame.width(),
              74);
}

TEST(MainPanel, ControlsSitWhereTheCanvasPutsThem) {
    testing::ensureQtApplication();
    MainPanelView view({});
    auto frame = [&](const QString& name) { return view.control(name)->frame; };
    const QRectF main = frame(MainPanelView::kMainButton);
    EXPECT_EQ(main.left(), 56);
    EXPECT_EQ(main.width(), 488);
    EXPECT_EQ(main.height(), 96);
    // The gear: 40 square, at the logo frame's top-trailing corner moved 8 to the right.
    EXPECT_EQ(frame(MainPanelView::kGear), QRectF((600 - 245) / 2.0 + 245 - 40 + 8, 18, 40, 40));
    // Five durations 14 apart, 50 high, the row centred; the wider one last.
    double x = 0;
    for (auto option : app::allDurationOptions) {
        const QRectF f = frame(MainPanelView::durationControl(option));
        EXPECT_EQ(f.width(), option == DurationOption::infinite ? 80 : 74);
        EXPECT_EQ(f.height(), 50);
        if (x > 0) {
            EXPECT_EQ(f.left() - x, 14);
        }
        x = f.right();
    }
    EXPECT_EQ(frame(MainPanelView::durationControl(DurationOption::one)).left(), 600 - x);
    EXPECT_GT(frame(MainPanelView::durationControl(DurationOption::one)).top(), main.bottom() + 20);
    // The bottom bar: 56 in from both sides, its controls on one line 22 above the bottom.
    const QRectF login = frame(MainPanelView::kLaunchAtLogin);
    const QRectF appearance = frame(MainPanelView::kAppearance);
    const QRectF settings = frame(MainPanelView::kSettings);
    const QRectF quit = frame(MainPanelView::kQuit);
    EXPECT_EQ(login.left(), 56);
    EXPECT_EQ(quit.right(), 544);
    EXPECT_EQ(quit.left() - settings.right(), 14);
    EXPECT_EQ(settings.left() - appearance.right(), 14);
    EXPECT_EQ(login.bottom(), 740 - 22);
    for (const QRectF& icon : {appearance, settings, quit}) {
        EXPECT_DOUBLE_EQ(icon.center().y(), login.center().y());
    }
}

TEST(MainPanel, ClicksAtTheScaledControlsReachTheModel) {
    testing::ensureQtApplication();
    testing::ModelWorld world;
    app::AppModel& model = world.launch();
    DesktopScheme desktop(std::make_unique<testing::FakeSystemAppearance>(ColorScheme::light));
    RootAppearanceView root(model, desktop, nullptr);
    MainPanelView& panel = root.panel();
    panel.show();
    auto click = [&](const QString& control) {
        QTest::mouseClick(&panel, Qt::LeftButton, {}, centreOf(panel, control));
        world.dispatch.runUntilIdle();
    };

    click(MainPanelView::durationControl(DurationOption::two));
    EXPECT_EQ(model.duration().get(), DurationOption::two);
    click(MainPanelView::kMainButton);
    EXPECT_EQ(world.sent(), (std::vector<std::string>{"ForceSafeOff", "Arm 7200"}));
    world.answer("Arm");
    world.dispatch.runUntilIdle();
    EXPECT_TRUE(panel.state().isArmed);
    // Another length while armed re-arms; nothing disarms.
    click(MainPanelView::durationControl(DurationOption::eight));
    EXPECT_EQ(world.sent().back(), "Arm 28800");

    click(MainPanelView::kLaunchAtLogin);
    EXPECT_TRUE(model.launchAtLoginEnabled().get());

    // From light the panel asks for Dark, from dark for Light, never System.
    click(MainPanelView::kAppearance);
    EXPECT_EQ(model.appearance().get(), AppearancePreference::dark);
    EXPECT_EQ(root.scheme(), ColorScheme::dark);
    click(MainPanelView::kAppearance);
    EXPECT_EQ(model.appearance().get(), AppearancePreference::light);

    for (const QString& control : {MainPanelView::kGear, MainPanelView::kSettings}) {
        model.setShowSettings(false);
        click(control);
        EXPECT_TRUE(model.showSettings().get()) << control.toStdString();
    }

    click(MainPanelView::kQuit);
    EXPECT_EQ(world.sent().back(), "ForceSafeOff");
    world.answer("ForceSafeOff");
    world.dispatch.runUntilIdle();
    ASSERT_EQ(world.exit->exits.size(), 1u);
    EXPECT_EQ(world.exit->exits[0], 0);
}

TEST(MainPanel, UnderSystemThePanelFollowsTheDesktop) {
    testing::ensureQtApplication();
    testing::ModelWorld world;
    app::AppModel& model = world.launch();
    auto* fake = new testing::FakeSystemAppearance(ColorScheme::light);
    DesktopScheme desktop{std::unique_ptr<appearance::SystemAppearance>(fake)};
    RootAppearanceView root(model, desktop, nullptr);
    fake->set(ColorScheme::dark);
    EXPECT_EQ(root.scheme(), ColorScheme::dark);
    // A chosen scheme holds whatever the desktop does.
    model.setAppearance(AppearancePreference::light);
    fake->set(ColorScheme::dark);
    EXPECT_EQ(root.scheme(), ColorScheme::light);
}

TEST(MainPanel, TheSetupAlertOffersLoginItemsOnlyWhenApprovalIsNeeded) {
    testing::ensureQtApplication();
    std::vector<std::string> calls;
    MainPanelActions actions;
    actions.toggle = [&] { calls.push_back("toggle"); };
    actions.openLoginItems = [&] { calls.push_back("openLoginItems"); };
    actions.dismissSetupAlert = [&] { calls.push_back("dismiss"); };
    MainPanelView view(actions);
    view.show();
    struct Case {
        bool needsApproval;
        QString button;
        std::vector<std::string> calls;
    } cases[] = {
        {false, MainPanelView::kAlertOk, {"dismiss"}},
        {true, MainPanelView::kAlertOk, {"dismiss"}},
        {true, MainPanelView::kOpenLoginItems, {"openLoginItems", "dismiss"}},
    };
    for (const auto& c : cases) {
        calls.clear();
        MainPanelState state;
        state.showSetupAlert = true;
        state.setupMessage = "Approve MAVU in System Settings → General → Login Items.";
        state.helperNeedsApproval = c.needsApproval;
        view.setState(state);
        std::vector<QString> names;
        for (const auto& control : view.controls()) {
            names.push_back(control.name);
        }
        // Only the alert's buttons take clicks while it is shown, in their order.
        const std::vector<QString> expected =
            c.needsApproval
                ? std::vector<QString>{MainPanelView::kOpenLoginItems, MainPanelView::kAlertOk}
                : std::vector<QString>{MainPanelView::kAlertOk};
        EXPECT_EQ(names, expected);
        QTest::mouseClick(&view, Qt::LeftButton, {}, centreOf(view, c.button));
        EXPECT_EQ(calls, c.calls);
        // The keyboard: Return presses the first button, Escape the last.
        calls.clear();
        QTest::keyClick(&view, Qt::Key_Return);
        QTest::keyClick(&view, Qt::Key_Escape);
        const std::vector<std::string> byKeys =
            c.needsApproval ? std::vector<std::string>{"openLoginItems", "dismiss", "dismiss"}
                            : std::vector<std::string>{"dismiss", "dismiss"};
        EXPECT_EQ(calls, byKeys);
    }
}

TEST(StatusIcon, TheOpenAndTheClosedEyeDifferWhereTheyMust) {
    testing::ensureQtApplication();
    const qreal dpr = 4;
    const QImage open = statusIcon(true, Qt::black, dpr);
    const QImage closed = statusIcon(false, Qt::black, dpr);
    EXPECT_EQ(open.size(), QSize(88, 72));
    EXPECT_EQ(open.deviceIndependentSize(), kStatusIconSize);
    // Points in the drawing's own units (origin bottom left).
    auto inked = [&](const QImage& image, double x, double y) {
        return image.pixelColor(QPointF(x * dpr, (18 - y) * dpr).toPoint()).alpha() > 128;
    };
    struct Probe {
        const char* what;
        double x, y;
        bool inOpen, inClosed;
    } probes[] = {
        {"pupil", 11.0, 8.6, true, false},
        {"middle lash above", 11.0, 14.5, true, false},
        {"outer lash above", 18.0, 13.6, true, false},
        {"outer lash below", 18.2, 5.8, false, true},
    };
    for (const auto& p : probes) {
        EXPECT_EQ(inked(open, p.x, p.y), p.inOpen) << p.what;
        EXPECT_EQ(inked(closed, p.x, p.y), p.inClosed) << p.what;
    }
}

}  // namespace
}  // namespace mavu::ui
