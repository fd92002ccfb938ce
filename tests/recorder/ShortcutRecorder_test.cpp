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

// A window holding the recorder and a line edit; counts the key presses passed on to it.
struct RecorderTest : QWidget, ::testing::Test {
    void SetUp() override {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(recorder);
        layout->addWidget(elsewhere);
        recorder->setOnCapture([this](const KeyCombo& combo) { captured.push_back(combo); });
        recorder->setBeep([this] { ++beeps; });
        show();
        activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(this));
    }
    void keyPressEvent(QKeyEvent*) override { ++passedOn; }
    void press(quint32 scanCode, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    }

    ShortcutRecorder* recorder = new ShortcutRecorder;
    QLineEdit* elsewhere = new QLineEdit;
    std::vector<KeyCombo> captured;
    int beeps = 0, passedOn = 0;
};

TEST_F(RecorderTest, EachKeyWhileRecordingIsCapturedOrRefused) {
    const Qt::KeyboardModifiers all = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier |
                                      Qt::MetaModifier | Qt::KeypadModifier |
                                      Qt::GroupSwitchModifier;
    const std::tuple<const char*, quint32, Qt::KeyboardModifiers, std::optional<KeyCombo>, bool>
        cases[] = {
            {"a letter alone", aKey, {}, std::nullopt, true},
            {"shift+A", aKey, Qt::ShiftModifier, KeyCombo{0, 0x20000}, false},
            {"delete alone", deleteKey, {}, std::nullopt, true},
            {"control+delete", deleteKey, Qt::ControlModifier, KeyCombo{51, 0x40000}, false},
            {"alt+super+F1", 67, Qt::AltModifier | Qt::MetaModifier, KeyCombo{122, 0x180000},
             false},
            {"every modifier, only four kept", aKey, all, KeyCombo{0, 0x1E0000}, false},
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
        setFocus();
    }
}

// Idle, keys pass on (Escape still closes the sheet); recording, the window's shortcuts
// wait; a click elsewhere ends it.
TEST_F(RecorderTest, IdleKeysPassOnShortcutsWaitWhileRecordingAndAClickAwayEndsIt) {
    recorder->setFocus();
    press(escapeKey, Qt::NoModifier);
    EXPECT_EQ(passedOn, 1);
    int quits = 0;
    QShortcut quit(QKeySequence(Qt::CTRL | Qt::Key_Q), this, [&] { ++quits; });
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_Q, Qt::ControlModifier);
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    EXPECT_FALSE(recorder->isRecording());
    QTest::keyClick(this, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(captured.empty());
}

}  // namespace
}  // namespace mavu::shortcut
