#include "app/shortcut/recorder/ShortcutRecorder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <optional>
#include <vector>

#include "tests/support/QtTestApplication.h"

namespace mavu::shortcut {
namespace {

// X keycodes (evdev + 8) of the keys the cases press.
constexpr quint32 aKey = 38, deleteKey = 22, escapeKey = 9;

// A window that counts the key presses passed on to it.
struct Window : QWidget {
    void keyPressEvent(QKeyEvent*) override { ++passedOn; }
    int passedOn = 0;
};

void press(quint32 scanCode, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, scanCode, 0, 0);
    QApplication::sendEvent(QApplication::focusWidget(), &event);
}

// Idle, keys pass on (Escape still closes the sheet); recording, each key is captured or
// refused, and the window's shortcuts wait; a click elsewhere ends it.
TEST(ShortcutRecorder, CapturesOrRefusesEachKeyWhileTheWindowsShortcutsWait) {
    Window window;
    auto* layout = new QVBoxLayout(&window);
    auto* recorder = new ShortcutRecorder;
    auto* elsewhere = new QLineEdit;
    layout->addWidget(recorder);
    layout->addWidget(elsewhere);
    std::vector<KeyCombo> captured;
    int beeps = 0, quits = 0;
    recorder->setOnCapture([&](const KeyCombo& combo) { captured.push_back(combo); });
    recorder->setBeep([&] { ++beeps; });
    QShortcut quit(QKeySequence(Qt::CTRL | Qt::Key_Q), &window, [&] { ++quits; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    recorder->setFocus();
    press(escapeKey, Qt::NoModifier);
    EXPECT_EQ(window.passedOn, 1);

    const std::tuple<const char*, quint32, Qt::KeyboardModifiers, std::optional<KeyCombo>, bool>
        cases[] = {
            {"a letter alone", aKey, {}, std::nullopt, true},
            {"shift+A", aKey, Qt::ShiftModifier, KeyCombo{0, 0x20000}, false},
            {"delete alone", deleteKey, {}, std::nullopt, true},
            {"control+delete", deleteKey, Qt::ControlModifier, KeyCombo{51, 0x40000}, false},
            {"alt+super+F1", 67, Qt::AltModifier | Qt::MetaModifier, KeyCombo{122, 0x180000},
             false},
            {"every modifier, only four kept", aKey, Qt::KeyboardModifierMask,
             KeyCombo{0, 0x1E0000}, false},
            {"keypad and AltGr are no modifiers", aKey,
             Qt::KeypadModifier | Qt::GroupSwitchModifier, std::nullopt, true},
            {"a key without a position", 0, Qt::ControlModifier, std::nullopt, true},
            {"shift pressed on its own", 50, Qt::ControlModifier, std::nullopt, false},
            {"escape with modifiers cancels", escapeKey, Qt::ControlModifier | Qt::ShiftModifier,
             std::nullopt, false},
        };
    for (const auto& [what, key, modifiers, capture, beep] : cases) {
        SCOPED_TRACE(what);
        captured.clear();
        beeps = 0;
        QTest::mouseClick(recorder, Qt::LeftButton);
        ASSERT_TRUE(recorder->hasFocus());
        press(key, modifiers);
        EXPECT_EQ(beeps, beep ? 1 : 0);
        EXPECT_EQ(captured, capture ? std::vector{*capture} : std::vector<KeyCombo>{});
        const bool ended = capture || key == escapeKey;
        EXPECT_EQ(recorder->isRecording(), !ended);
        EXPECT_EQ(recorder->hasFocus(), !ended);
        window.setFocus();
    }

    captured.clear();
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_Q, Qt::ControlModifier);
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    EXPECT_FALSE(recorder->isRecording());
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(captured.empty());
}

}  // namespace
}  // namespace mavu::shortcut
