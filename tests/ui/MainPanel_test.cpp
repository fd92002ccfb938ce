#include "app/ui/MainPanelView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "app/ui/Popover.h"
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

// Five durations 14 apart, 50 high, centred below the button, the wider one last; the
// bottom bar's icons on the line of "Launch at login", 22 above the bottom; drawn at 408 by
// 503, the background and the main button in the scheme's and the state's colours.
TEST(MainPanel, ControlsSitWhereTheCanvasPutsThemInTheStatesColours) {
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
    for (const bool armed : {false, true}) {
        MainPanelState state;
        state.isArmed = armed;
        state.scheme = armed ? ColorScheme::dark : ColorScheme::light;
        view.setState(state);
        const QImage image = view.grab().toImage();
        EXPECT_EQ(image.size(), QSize(408, 503));
        // Within 3 on each channel: the fills are blended with their opacity.
        const auto at = [&](QPointF point, const QColor& expected) {
            const QColor actual = image.pixelColor(view.toWidget(point).toPoint());
            return std::max({std::abs(actual.red() - expected.red()),
                             std::abs(actual.green() - expected.green()),
                             std::abs(actual.blue() - expected.blue())}) <= 3;
        };
        EXPECT_TRUE(at({20, 300}, armed ? panelDark() : panelLight()));
        EXPECT_TRUE(at({main.center().x(), main.top() + 14}, armed ? accentRed() : panelLight()));
    }
}

// Clicks on the popover's panel reach the model. Under System the panel follows the
// desktop; from dark it asks for Light, from light for Dark, never System, and a chosen
// scheme holds whatever the desktop does. While settings are wanted the sheet stacks above
// the popover, top edges aligned; closing the popover closes it too. While the setup alert
// shows, only its buttons take clicks.
TEST(Popover, ClicksReachTheModelAndTheSheetFollowsShowSettings) {
    testing::ModelWorld world;
    app::AppModel& model = world.launch();
    auto* system = new testing::FakeSystemAppearance(ColorScheme::light);
    DesktopScheme desktop{std::unique_ptr<appearance::SystemAppearance>(system)};
    int closed = 0;
    Popover popover(model, desktop, [&] { ++closed; });
    popover.show(QRect(300, 0, 24, 24), {});
    ASSERT_TRUE(popover.isShown());
    MainPanelView& panel = *popover.panel();
    system->set(ColorScheme::dark);
    EXPECT_EQ(panel.state().scheme, ColorScheme::dark);
    click(panel, MainPanelView::durationControl(DurationOption::two));
    EXPECT_EQ(model.duration().get(), DurationOption::two);
    click(panel, MainPanelView::kAppearance);
    EXPECT_EQ(model.appearance().get(), AppearancePreference::light);
    system->set(ColorScheme::dark);
    EXPECT_EQ(panel.state().scheme, ColorScheme::light);
    click(panel, MainPanelView::kAppearance);
    EXPECT_EQ(model.appearance().get(), AppearancePreference::dark);
    EXPECT_EQ(panel.state().scheme, ColorScheme::dark);

    click(panel, MainPanelView::kSettings);
    QWidget* sheet = popover.sheet();
    ASSERT_TRUE(sheet && sheet->isVisible());
    EXPECT_EQ(sheet->geometry().top(), popover.window()->geometry().top());
    model.setShowSettings(false);
    EXPECT_FALSE(sheet->isVisible());
    click(panel, MainPanelView::kGear);
    EXPECT_TRUE(sheet->isVisible());
    popover.close();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(closed, 1);

    // A silent daemon: the setup alert, its OK the only control, and no Login Items while
    // approval is not needed.
    popover.show(QRect(300, 0, 24, 24), {});
    model.toggle();
    world.dispatch.advance(3.0);
    EXPECT_EQ(panel.controls().size(), 1u);
    click(panel, MainPanelView::kAlertOk);
    EXPECT_FALSE(model.showSetupAlert().get());
}

}  // namespace
}  // namespace mavu::ui
