#include "app/ui/MainPanelView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "app/ui/RootAppearanceView.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/FakeSystemAppearance.h"
#include "tests/support/QtTestApplication.h"

namespace mavu::ui {
namespace {

using app::AppearancePreference;
using app::DurationOption;

QRectF frame(const MainPanelView& view, const QString& control) {
    const auto found = view.control(control);
    EXPECT_TRUE(found.has_value()) << control.toStdString();
    return found ? found->frame : QRectF();
}

void click(MainPanelView& view, const QString& control) {
    QTest::mouseClick(&view, Qt::LeftButton, {},
                      view.toWidget(frame(view, control).center()).toPoint());
}

// Every state in its colours (within 3 on each channel) at 408 by 503; five durations 14
// apart, 50 high, centred below the button, the wider one last; the bottom bar's icons on
// the line of "Launch at login", 22 above the bottom.
TEST(MainPanel, EveryStateIsDrawnInItsColoursWithTheControlsWhereTheCanvasPutsThem) {
    MainPanelView view({});
    const QRectF main = frame(view, MainPanelView::kMainButton);
    EXPECT_EQ(main, QRectF(56, main.top(), 488, 96));
    double x = 600 - 4 * 74 - 80 - 4 * 14;
    for (auto option : app::allDurationOptions) {
        const QRectF f = frame(view, MainPanelView::durationControl(option));
        EXPECT_EQ(f, QRectF(x / 2, f.top(), option == DurationOption::infinite ? 80 : 74, 50));
        EXPECT_GT(f.top(), main.bottom() + 20);
        x += 2 * (f.width() + 14);
    }
    const QRectF login = frame(view, MainPanelView::kLaunchAtLogin);
    EXPECT_EQ(login.bottom(), 740 - 22);
    for (const QString& icon :
         {MainPanelView::kAppearance, MainPanelView::kSettings, MainPanelView::kQuit}) {
        EXPECT_DOUBLE_EQ(frame(view, icon).center().y(), login.center().y());
    }
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        for (const bool armed : {false, true}) {
            MainPanelState state;
            state.isArmed = armed;
            state.duration = DurationOption::two;
            state.scheme = scheme;
            view.setState(state);
            const QImage image = view.grab().toImage();
            EXPECT_EQ(image.size(), QSize(408, 503));
            const auto at = [&](QPointF point, const QColor& expected) {
                const QColor actual = image.pixelColor(view.toWidget(point).toPoint());
                return std::max({std::abs(actual.red() - expected.red()),
                                 std::abs(actual.green() - expected.green()),
                                 std::abs(actual.blue() - expected.blue())}) <= 3;
            };
            const QColor background = isDark(scheme) ? panelDark() : panelLight();
            EXPECT_TRUE(at({20, 300}, background));
            EXPECT_TRUE(
                at({main.center().x(), main.top() + 14}, armed ? accentRed() : panelLight()));
        }
    }
}

TEST(MainPanel, ClicksReachTheModelAndTheSchemeFollowsTheChoice) {
    testing::ModelWorld world;
    app::AppModel& model = world.launch();
    auto* desktop = new testing::FakeSystemAppearance(ColorScheme::light);
    DesktopScheme scheme{std::unique_ptr<appearance::SystemAppearance>(desktop)};
    RootAppearanceView root(model, scheme, nullptr);
    MainPanelView& panel = root.panel();
    panel.show();
    // Under System the panel follows the desktop.
    desktop->set(ColorScheme::dark);
    EXPECT_EQ(root.scheme(), ColorScheme::dark);
    click(panel, MainPanelView::durationControl(DurationOption::two));
    EXPECT_EQ(model.duration().get(), DurationOption::two);
    click(panel, MainPanelView::kLaunchAtLogin);
    world.dispatch.runUntilIdle();
    EXPECT_TRUE(model.launchAtLoginEnabled().get());
    // From dark the panel asks for Light, from light for Dark, never System; a chosen
    // scheme holds whatever the desktop does.
    click(panel, MainPanelView::kAppearance);
    EXPECT_EQ(model.appearance().get(), AppearancePreference::light);
    desktop->set(ColorScheme::dark);
    EXPECT_EQ(root.scheme(), ColorScheme::light);
    click(panel, MainPanelView::kAppearance);
    EXPECT_EQ(model.appearance().get(), AppearancePreference::dark);
    EXPECT_EQ(root.scheme(), ColorScheme::dark);
    for (const QString& control : {MainPanelView::kGear, MainPanelView::kSettings}) {
        model.setShowSettings(false);
        click(panel, control);
        EXPECT_TRUE(model.showSettings().get()) << control.toStdString();
    }
}

// Only the alert's buttons take clicks while it is shown.
TEST(MainPanel, TheSetupAlertOffersLoginItemsOnlyWhenApprovalIsNeeded) {
    std::vector<std::string> calls;
    MainPanelActions actions;
    actions.toggle = [&] { calls.push_back("toggle"); };
    actions.openLoginItems = [&] { calls.push_back("open"); };
    actions.dismissSetupAlert = [&] { calls.push_back("dismiss"); };
    MainPanelView view(actions);
    view.show();
    using Calls = std::vector<std::string>;
    const std::tuple<bool, QString, Calls> cases[] = {
        {false, MainPanelView::kAlertOk, {"dismiss"}},
        {true, MainPanelView::kAlertOk, {"dismiss"}},
        {true, MainPanelView::kOpenLoginItems, {"open", "dismiss"}},
    };
    for (const auto& [needsApproval, button, byClick] : cases) {
        MainPanelState state;
        state.showSetupAlert = true;
        state.setupMessage = "Approve MAVU in System Settings → General → Login Items.";
        state.helperNeedsApproval = needsApproval;
        view.setState(state);
        EXPECT_EQ(view.controls().size(), needsApproval ? 2u : 1u);
        calls.clear();
        click(view, button);
        EXPECT_EQ(calls, byClick);
    }
}

}  // namespace
}  // namespace mavu::ui
