#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <cstdlib>
#include <optional>

#include "app/shortcut/GlobalShortcutManager.h"
#include "app/shortcut/recorder/ShortcutRecorder.h"
#include "platform/dispatch/qt/QtMainQueue.h"
#include "platform/hotkey/X11HotKeys.h"
#include "tests/hotkey/XvfbServer.h"
#include "tests/support/ChildProcess.h"

namespace mavu::shortcut {
namespace {

using namespace std::chrono_literals;

// The physical keys pressed, as X keycodes: Q on US (A on AZERTY), Z on US (W on AZERTY,
// Y on QWERTZ), and left control.
constexpr xcb_keycode_t usQKey = 24, usZKey = 52, controlKey = 37;

// Remembers the symbol Qt made of each key the recorder receives, to prove the layout
// really changed.
class SymbolWatch : public QObject {
  public:
    int lastKey = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            lastKey = static_cast<QKeyEvent*>(event)->key();
        }
        return false;
    }
};

// The real path: an X server with a chosen layout, the xcb platform, a key typed at the
// server. The same physical key must give the same code whatever the layout, and the
// combination recorded must fire as a hot key under any layout.
TEST(ShortcutRecorderOnX11, PositionCodeIsTheSameUnderEveryLayout) {
    testing::XvfbServer xvfb;
    ASSERT_FALSE(xvfb.display().empty()) << "Xvfb did not start";
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    ASSERT_EQ(testing::runProcess("setxkbmap", {"us"}).status, 0);

    int argc = 1;
    char name[] = "recorder_backend_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ShortcutRecorder recorder;
    SymbolWatch symbols;
    recorder.installEventFilter(&symbols);
    std::optional<KeyCombo> captured;
    recorder.setOnCapture([&](const KeyCombo& combo) { captured = combo; });
    recorder.show();
    recorder.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&recorder));

    xcb_connection_t* tester = xcb_connect(xvfb.display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(tester), 0);
    const auto type = [&](xcb_keycode_t key) {
        for (auto [kind, code] : {std::pair{XCB_KEY_PRESS, controlKey},
                                  {XCB_KEY_PRESS, key},
                                  {XCB_KEY_RELEASE, key},
                                  {XCB_KEY_RELEASE, controlKey}}) {
            xcb_test_fake_input(tester, kind, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        xcb_flush(tester);
    };
    const auto record = [&](xcb_keycode_t key) -> std::optional<KeyCombo> {
        captured.reset();
        QTest::mouseClick(&recorder, Qt::LeftButton);
        type(key);
        testing::eventually(
            [&] {
                QApplication::processEvents();
                return captured.has_value();
            },
            5s);
        return captured;
    };

    struct Layout {
        const char* name;
        int qKeySymbol;
        int zKeySymbol;
    };
    for (const Layout& layout :
         {Layout{"us", Qt::Key_Q, Qt::Key_Z}, Layout{"fr", Qt::Key_A, Qt::Key_W},
          Layout{"de", Qt::Key_Q, Qt::Key_Y}}) {
        SCOPED_TRACE(layout.name);
        ASSERT_EQ(testing::runProcess("setxkbmap", {layout.name}).status, 0);
        EXPECT_EQ(record(usQKey), (KeyCombo{12, modifier::control}));
        EXPECT_EQ(symbols.lastKey, layout.qKeySymbol);
        EXPECT_EQ(record(usZKey), (KeyCombo{6, modifier::control}));
        EXPECT_EQ(symbols.lastKey, layout.zKeySymbol);
    }

    // What was recorded works as a hot key whatever layout is active when it is pressed.
    dispatch::QtDispatch dispatch;
    GlobalShortcutManager manager(
        std::make_unique<hotkey::X11HotKeys>(dispatch.mainQueue(), xvfb.display()));
    const KeyCombo recorded = record(usZKey).value_or(KeyCombo{});
    int presses = 0;
    ASSERT_TRUE(manager.registerHotKey(recorded.keyCode, recorded.modifiers, [&] { ++presses; }));
    for (const char* layout : {"us", "fr"}) {
        ASSERT_EQ(testing::runProcess("setxkbmap", {layout}).status, 0);
        const int before = presses;
        type(usZKey);
        EXPECT_TRUE(testing::eventually(
            [&] {
                QApplication::processEvents();
                return presses == before + 1;
            },
            5s))
            << layout;
    }
    xcb_disconnect(tester);
}

}  // namespace
}  // namespace mavu::shortcut
