#include "app/ui/settings/SettingsSheet.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
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
using testing::ModelWorld;
using Sent = std::vector<std::string>;

const auto* const qt = ::testing::AddGlobalTestEnvironment(new testing::QtTestApplication);

class SheetTest : public ::testing::Test {
  protected:
    // Opens the sheet as the popover does: showSettings true, then the widget.
    app::AppModel& open(double scale = 1.0) {
        app::AppModel& model = world.model ? *world.model : world.launch();
        model.setShowSettings(true);
        world.dispatch.runUntilIdle();
        sheet = makeSettingsSheet(model, ColorScheme::light, scale);
        sheet->show();
        sheet->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
        return model;
    }
    template <class T = QWidget>
    T* find(const char* name) {
        auto* found = dynamic_cast<T*>(sheet->findChild<QWidget*>(QString::fromLatin1(name)));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }
    void answerVersion(const std::string& version, const std::string& build) {
        world.connector->sent.back()->replyVersion(version, build);
        world.dispatch.runUntilIdle();
    }
    QString daemonText() { return find<QLabel>("daemonText")->text(); }
    bool daemonShown() { return find("daemonLine")->isVisible(); }
    QAbstractButton* updateHelper() { return find<QAbstractButton>("updateHelper"); }
    void clickAlertButton(const char* alert, const char* title) {
        for (QAbstractButton* button : find<SheetAlert>(alert)->buttons()) {
            if (button->text() == QString::fromUtf8(title)) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no button " << title << " in " << alert;
    }

    ModelWorld world;
    std::unique_ptr<QWidget> sheet;
};

// Every text of the column, top to bottom, in its font.
TEST_F(SheetTest, RowsComeInOrderWithTheirTextsAndFonts) {
    open();
    answerVersion("1.3", "42");
    struct Row {
        const char* text;
        int size;
        QFont::Weight weight;
    };
    const Row rows[] = {
        {"Settings", 15, QFont::Bold},
        {"Appearance", 15, QFont::Bold},
        {"Light", 12, QFont::Normal},
        {"Launch at login", 13, QFont::Normal},
        {"Global Shortcut", 15, QFont::Bold},
        {"Toggle MAVU", 13, QFont::Normal},
        {"Automatically check for updates", 13, QFont::Normal},
        {"Update Now", 13, QFont::Medium},
        {"Uninstall MAVU…", 13, QFont::Medium},
        {"About MAVU", 15, QFont::Bold},
        {"Version 1.3", 13, QFont::Normal},
        {"Build 42", 13, QFont::Normal},
        {"Helper: v1.3 (42)", 13, QFont::Normal},
        {"Made by the MAVU team", 11, QFont::Normal},
        {"Get in touch", 11, QFont::Normal},
    };
    int lastTop = -1;
    for (const Row& row : rows) {
        QWidget* found = nullptr;
        for (QWidget* widget : sheet->findChildren<QWidget*>()) {
            auto* label = qobject_cast<QLabel*>(widget);
            auto* button = qobject_cast<QAbstractButton*>(widget);
            const QString text = label ? label->text() : button ? button->text() : QString();
            if (text == QString::fromUtf8(row.text) && widget->isVisible()) {
                found = widget;
            }
        }
        ASSERT_NE(found, nullptr) << row.text;
        EXPECT_EQ(found->font().pixelSize(), row.size) << row.text;
        EXPECT_EQ(found->font().weight(), row.weight) << row.text;
        const int top = found->mapTo(sheet.get(), QPoint(0, 0)).y();
        EXPECT_GE(top, lastTop) << row.text;
        lastTop = top;
    }
    EXPECT_EQ(sheet->size(), QSize(318, 740));
    EXPECT_EQ(find("shortcutRecorder")->size(), QSize(140, 26));
    EXPECT_EQ(find("tile.Dark")->size(), QSize(66, 64));
    EXPECT_EQ(find("character")->size(), QSize(122, 96));
    EXPECT_EQ(find("character")->mapTo(sheet.get(), QPoint(0, 96)).y(), 740 - 10);
}

TEST_F(SheetTest, DaemonLineShowsVersionOutdatedOrUnknown) {
    app::AppModel& model = open();
    EXPECT_FALSE(daemonShown());  // the daemon has not answered yet

    answerVersion("1.3", "42");  // the app's own build
    EXPECT_TRUE(daemonShown());
    EXPECT_EQ(daemonText(), "Helper: v1.3 (42)");
    EXPECT_EQ(find<QLabel>("daemonText")->palette().color(QPalette::WindowText),
              withOpacity(ink(ColorScheme::light), 0.7));
    EXPECT_FALSE(updateHelper()->isVisible());

    model.setShowSettings(false);
    model.setShowSettings(true);
    world.dispatch.runUntilIdle();
    answerVersion("1.2", "41");
    EXPECT_EQ(daemonText(), "Helper: v1.2 (41) — outdated");
    EXPECT_EQ(find<QLabel>("daemonText")->palette().color(QPalette::WindowText), accentRed());
    EXPECT_TRUE(updateHelper()->isVisible());
    EXPECT_EQ(updateHelper()->text(), "Update Helper");

    model.setShowSettings(false);
    model.setShowSettings(true);
    world.dispatch.advance(3.0);  // no answer
    EXPECT_EQ(daemonText(), "Helper: version unknown — outdated");
    EXPECT_TRUE(updateHelper()->isVisible());

    // Restarting: the button says so and cannot be pressed again until the flow ends.
    QTest::mouseClick(updateHelper(), Qt::LeftButton);
    EXPECT_EQ(updateHelper()->text(), "Updating…");
    EXPECT_FALSE(updateHelper()->isEnabled());
    QTest::mouseClick(updateHelper(), Qt::LeftButton);
    world.dispatch.advance(1.0);
    EXPECT_EQ(updateHelper()->text(), "Update Helper");
    EXPECT_TRUE(updateHelper()->isEnabled());
    EXPECT_FALSE(model.isRestartingHelper().get());
}

TEST_F(SheetTest, AboutBlockShowsADashForMissingInfoValues) {
    world.folder.write("Info.plist",
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                       "<key>CFBundleVersion</key><integer>7</integer></dict></plist>");
    open();
    EXPECT_EQ(find<QLabel>("version")->text(), "Version —");
    EXPECT_EQ(find<QLabel>("build")->text(), "Build —");
}

TEST_F(SheetTest, ExactlyOneTileIsOutlinedAndAClickMovesIt) {
    app::AppModel& model = open();
    const char* tiles[] = {"tile.Light", "tile.Dark", "tile.System"};
    const AppearancePreference values[] = {AppearancePreference::light, AppearancePreference::dark,
                                           AppearancePreference::system};
    for (int chosen : {1, 0, 2}) {
        click(tiles[chosen]);
        EXPECT_EQ(model.appearance().get(), values[chosen]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(find<AppearanceTile>(tiles[i])->isSelected(), i == chosen)
                << tiles[i] << " after choosing " << tiles[chosen];
        }
    }
}

TEST_F(SheetTest, RecordedShortcutGoesThroughTheModelAndResetRestoresTheDefault) {
    app::AppModel& model = open();
    auto* recorder = find<shortcut::ShortcutRecorder>("shortcutRecorder");
    const auto record = [&](quint32 scanCode, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(recorder, Qt::LeftButton);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(recorder, &press);
    };
    record(38, Qt::ShiftModifier);  // shift+A
    EXPECT_EQ(model.shortcut().get(), (KeyCombo{0, 0x20000}));
    EXPECT_EQ(recorder->combo(), (KeyCombo{0, 0x20000}));

    // Another program holds control+S: the old combination stays, and shows again.
    world.hotKeys->taken.insert({1, hotkey::modifierMask::control});
    record(39, Qt::ControlModifier);
    EXPECT_TRUE(model.showSetupAlert().get());
    EXPECT_EQ(recorder->combo(), (KeyCombo{0, 0x20000}));

    click("resetShortcut");
    EXPECT_EQ(world.hotKeys->calls.back(), "register 6 6400");
    EXPECT_EQ(model.shortcut().get(), shortcut::defaultCombo);
    EXPECT_EQ(recorder->combo(), shortcut::defaultCombo);
}

TEST_F(SheetTest, ControlsCallTheModel) {
    app::AppModel& model = open();
    click("launchAtLogin");
    EXPECT_TRUE(model.launchAtLoginEnabled().get());
    EXPECT_TRUE(find<ToggleSwitch>("launchAtLogin")->isOn());
    click("autoCheckForUpdates");
    EXPECT_FALSE(world.updater->automatic);
    EXPECT_FALSE(find<ToggleSwitch>("autoCheckForUpdates")->isOn());
    click("close");
    EXPECT_FALSE(model.showSettings().get());
    model.setShowSettings(true);
    click("updateNow");
    EXPECT_EQ(world.updater->checks, 1);
    EXPECT_FALSE(model.showSettings().get());
}

TEST_F(SheetTest, EscapeClosesAndControlQQuitsThroughTheModel) {
    app::AppModel& model = open();
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_FALSE(model.showSettings().get());

    QTest::keyClick(sheet.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff", "HelperVersion", "ForceSafeOff"}));
    world.dispatch.advance(3.0);
    ASSERT_EQ(world.exit->exits.size(), 1u);
    EXPECT_EQ(world.exit->exits[0], 0);
}

TEST_F(SheetTest, UninstallAlertsShowWhileTheirFlagIsSetAndClearItWhenAnswered) {
    app::AppModel& model = open();
    auto* confirm = find<SheetAlert>("uninstallConfirm");
    auto* done = find<SheetAlert>("uninstallDone");
    EXPECT_FALSE(confirm->isVisible());

    click("uninstall");
    EXPECT_TRUE(model.showUninstallConfirm().get());
    EXPECT_TRUE(confirm->isVisible());
    QTest::keyClick(confirm, Qt::Key_Escape);  // Cancel
    EXPECT_FALSE(model.showUninstallConfirm().get());
    EXPECT_FALSE(confirm->isVisible());
    EXPECT_TRUE(model.showSettings().get());  // Escape answered the alert only
    EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff", "HelperVersion"}));

    click("uninstall");
    clickAlertButton("uninstallConfirm", "Uninstall");
    EXPECT_FALSE(model.showUninstallConfirm().get());
    world.dispatch.advance(3.0);  // the daemon does not answer forceSafeOff
    EXPECT_TRUE(model.showUninstallDone().get());
    EXPECT_TRUE(done->isVisible());
    clickAlertButton("uninstallDone", "OK");
    EXPECT_FALSE(model.showUninstallDone().get());
    EXPECT_FALSE(done->isVisible());
    EXPECT_TRUE(world.exit->exits.empty());

    model.setShowUninstallDone(true);
    clickAlertButton("uninstallDone", "Quit MAVU");
    EXPECT_FALSE(model.showUninstallDone().get());
    world.dispatch.advance(3.0);
    EXPECT_EQ(world.exit->exits.size(), 1u);
}

TEST_F(SheetTest, ScaledSheetStillTakesClicksAndKeys) {
    app::AppModel& model = open(0.5);
    EXPECT_EQ(sheet->size(), QSize(159, 370));
    auto* view = dynamic_cast<QGraphicsView*>(sheet.get());
    ASSERT_NE(view, nullptr);
    QWidget* content = nullptr;
    for (QGraphicsItem* item : view->scene()->items()) {
        if (auto* proxy = dynamic_cast<QGraphicsProxyWidget*>(item)) {
            content = proxy->widget();
        }
    }
    ASSERT_NE(content, nullptr);
    QWidget* dark = content->findChild<QWidget*>(QStringLiteral("tile.Dark"));
    const QPointF centre = QPointF(dark->mapTo(content, dark->rect().center())) * 0.5;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre.toPoint());
    EXPECT_EQ(model.appearance().get(), AppearancePreference::dark);
    sheet->setFocus();  // as the popup window does with its content
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(model.showSettings().get());
}

}  // namespace
}  // namespace mavu::ui
