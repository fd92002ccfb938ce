#include "app/ui/settings/SettingsSheet.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include "app/shortcut/recorder/ShortcutRecorder.h"
#include "app/ui/settings/SheetAlert.h"
#include "app/ui/settings/SheetControls.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/QtTestApplication.h"

namespace mavu::ui {
namespace {

using app::AppearancePreference;
using shortcut::KeyCombo;

// The sheet opened as the popover does: showSettings true twice (the daemon is asked
// once), then the widget.
struct SheetTest : ::testing::Test {
    SheetTest() {
        model.setShowSettings(true);
        model.setShowSettings(true);
        world.dispatch.runUntilIdle();
        sheet = makeSettingsSheet(model, ColorScheme::light, 1.0);
        sheet->show();
        sheet->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    }
    template <class T = QWidget>
    T* find(const char* name) {
        auto* found = dynamic_cast<T*>(sheet->findChild<QWidget*>(QString::fromLatin1(name)));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }
    void clickAlertButton(const char* alert, const char* title) {
        for (QAbstractButton* button : find<SheetAlert>(alert)->buttons()) {
            if (button->text() == QString::fromUtf8(title)) {
                return QTest::mouseClick(button, Qt::LeftButton);
            }
        }
        ADD_FAILURE() << "no button " << title << " in " << alert;
    }

    testing::ModelWorld world;
    app::AppModel& model = world.launch();
    std::unique_ptr<QWidget> sheet;
};

// Each reopening, once what was asked before timed out, asks the daemon again; it answers,
// or never does.
TEST_F(SheetTest, TheAboutBlockShowsTheAppAndTheDaemonCurrentOutdatedOrUnknown) {
    EXPECT_EQ(find<QLabel>("version")->text(), "Version 1.3");
    EXPECT_EQ(find<QLabel>("build")->text(), "Build 42");
    EXPECT_FALSE(find("daemonLine")->isVisible());
    auto* updateHelper = find<QAbstractButton>("updateHelper");
    auto* daemon = find<QLabel>("daemonText");
    const QColor dim = withOpacity(ink(ColorScheme::light), 0.7);
    const std::tuple<const char*, const char*, const char*, QColor> cases[] = {
        {"1.3", "42", "Helper: v1.3 (42)", dim},
        {"1.2", "41", "Helper: v1.2 (41) — outdated", accentRed()},
        {nullptr, nullptr, "Helper: version unknown — outdated", accentRed()},
    };
    for (const auto& [version, build, shown, colour] : cases) {
        world.dispatch.advance(3.0);
        model.setShowSettings(false);
        model.setShowSettings(true);
        world.dispatch.runUntilIdle();
        if (version) {
            world.connector->sent.back()->replyVersion(version, build);
        }
        world.dispatch.advance(version ? 0.0 : 3.0);
        EXPECT_TRUE(find("daemonLine")->isVisible()) << shown;
        EXPECT_EQ(daemon->text(), shown);
        EXPECT_EQ(daemon->palette().color(QPalette::WindowText), colour) << shown;
        EXPECT_EQ(updateHelper->isVisible(), colour != dim) << shown;
    }
    QTest::mouseClick(updateHelper, Qt::LeftButton);  // the flow is the model's
    EXPECT_FALSE(updateHelper->isEnabled());
}

TEST_F(SheetTest, ControlsAndKeysCallTheModel) {
    click("tile.Dark");
    EXPECT_EQ(model.appearance().get(), AppearancePreference::dark);
    EXPECT_TRUE(find<AppearanceTile>("tile.Dark")->isSelected());
    EXPECT_FALSE(find<AppearanceTile>("tile.System")->isSelected());

    auto* recorder = find<shortcut::ShortcutRecorder>("shortcutRecorder");
    const auto record = [&](quint32 scanCode, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(recorder, Qt::LeftButton);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(recorder, &press);
    };
    record(38, Qt::ShiftModifier);  // shift+A
    EXPECT_EQ(model.shortcut().get(), (KeyCombo{0, 0x20000}));
    // Another program holds control+S: the old combination stays, registered again, and
    // shows again.
    world.hotKeys->taken.insert({1, hotkey::modifierMask::control});
    record(39, Qt::ControlModifier);
    EXPECT_TRUE(model.showSetupAlert().get());
    EXPECT_EQ(model.setupMessage().get(),
              "This shortcut is already used by another app. Please "
              "choose a different combination.");
    EXPECT_EQ(recorder->combo(), (KeyCombo{0, 0x20000}));
    ASSERT_EQ(world.hotKeys->active.size(), 1u);
    EXPECT_EQ(world.hotKeys->active.begin()->second, testing::HotKeyPortDouble::Combo(0, 512));
    click("resetShortcut");
    EXPECT_EQ(model.shortcut().get(), shortcut::defaultCombo);
    EXPECT_EQ(recorder->combo(), shortcut::defaultCombo);

    click("launchAtLogin");
    EXPECT_TRUE(model.launchAtLoginEnabled().get());
    EXPECT_TRUE(find<ToggleSwitch>("launchAtLogin")->isOn());
    click("autoCheckForUpdates");
    EXPECT_FALSE(world.updater->automatic);
    EXPECT_FALSE(find<ToggleSwitch>("autoCheckForUpdates")->isOn());
    click("updateNow");
    EXPECT_EQ(world.updater->checks, 1);
    EXPECT_FALSE(model.showSettings().get());
    model.setShowSettings(true);
    click("close");
    EXPECT_FALSE(model.showSettings().get());
    model.setShowSettings(true);
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_FALSE(model.showSettings().get());
}

TEST_F(SheetTest, UninstallAlertsShowWhileTheirFlagIsSetAndClearItWhenAnswered) {
    auto* confirm = find<SheetAlert>("uninstallConfirm");
    auto* done = find<SheetAlert>("uninstallDone");
    EXPECT_FALSE(confirm->isVisible());
    click("uninstall");
    EXPECT_TRUE(confirm->isVisible());
    QTest::keyClick(confirm, Qt::Key_Escape);  // Cancel, and the sheet stays
    EXPECT_FALSE(model.showUninstallConfirm().get());
    EXPECT_FALSE(confirm->isVisible());
    EXPECT_TRUE(model.showSettings().get());
    EXPECT_EQ(world.sent(), (std::vector<std::string>{"ForceSafeOff", "HelperVersion"}));

    click("uninstall");
    clickAlertButton("uninstallConfirm", "Uninstall");
    EXPECT_FALSE(model.showUninstallConfirm().get());
    world.dispatch.advance(3.0);  // the daemon does not answer forceSafeOff
    EXPECT_TRUE(done->isVisible());
    clickAlertButton("uninstallDone", "Quit MAVU");
    EXPECT_FALSE(model.showUninstallDone().get());
    EXPECT_FALSE(done->isVisible());
    world.dispatch.advance(3.0);
    EXPECT_EQ(world.desk->exits, std::vector<int>{0});
}

}  // namespace
}  // namespace mavu::ui
