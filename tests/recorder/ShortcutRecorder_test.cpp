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
constexpr quint32 aKey = 38, deleteKey = 22, escapeKey = 9, leftShiftKey = 50, f1Key = 67;
constexpr quint32 unknownKey = 0;

const auto* const qt = ::testing::AddGlobalTestEnvironment(new testing::QtTestApplication);

// Counts the key presses the recorder passes on.
class Parent : public QWidget {
  public:
    int passedOn = 0;

  protected:
    void keyPressEvent(QKeyEvent*) override { ++passedOn; }
};

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        recorder = new ShortcutRecorder;
        elsewhere = new QLineEdit;
        layout->addWidget(recorder);
        layout->addWidget(elsewhere);
        recorder->setOnCapture([this](const KeyCombo& combo) { captured.push_back(combo); });
        recorder->setBeep([this] { ++beeps; });
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void press(quint32 scanCode, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(
            QApplication::focusWidget() ? QApplication::focusWidget() : recorder, &event);
    }

    Parent window;
    ShortcutRecorder* recorder = nullptr;
    QLineEdit* elsewhere = nullptr;
    std::vector<KeyCombo> captured;
    int beeps = 0;
};

TEST_F(RecorderTest, EachKeyWhileRecordingIsCapturedOrRefused) {
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers all = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier |
                                      Qt::MetaModifier | Qt::KeypadModifier |
                                      Qt::GroupSwitchModifier;
    struct Case {
        const char* what;
        quint32 key;
        Qt::KeyboardModifiers modifiers;
        std::optional<KeyCombo> capture;
        bool beep;
    };
    const Case cases[] = {
        {"a letter alone", aKey, none, std::nullopt, true},
        {"shift+A", aKey, Qt::ShiftModifier, KeyCombo{0, 0x20000}, false},
        {"delete alone", deleteKey, none, std::nullopt, true},
        {"control+delete", deleteKey, Qt::ControlModifier, KeyCombo{51, 0x40000}, false},
        {"alt+super+F1", f1Key, Qt::AltModifier | Qt::MetaModifier, KeyCombo{122, 0x180000}, false},
        {"every modifier, only four kept", aKey, all, KeyCombo{0, 0x1E0000}, false},
        {"keypad and AltGr are no modifiers", aKey, Qt::KeypadModifier | Qt::GroupSwitchModifier,
         std::nullopt, true},
        {"a key without a position", unknownKey, Qt::ControlModifier, std::nullopt, true},
        {"shift pressed on its own", leftShiftKey, Qt::ControlModifier, std::nullopt, false},
        {"escape with modifiers cancels", escapeKey, Qt::ControlModifier | Qt::ShiftModifier,
         std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        captured.clear();
        beeps = 0;
        QTest::mouseClick(recorder, Qt::LeftButton);
        ASSERT_TRUE(recorder->isRecording());
        ASSERT_TRUE(recorder->hasFocus());

        press(c.key, c.modifiers);
        EXPECT_EQ(beeps, c.beep ? 1 : 0);
        const bool cancelled = c.key == escapeKey;
        if (c.capture) {
            ASSERT_EQ(captured.size(), 1u);
            EXPECT_EQ(captured[0], *c.capture);
            EXPECT_EQ(captured[0].modifiers & ~recordableModifiers, 0u);
        } else {
            EXPECT_TRUE(captured.empty());
        }
        const bool ended = c.capture || cancelled;
        EXPECT_EQ(recorder->isRecording(), !ended);
        EXPECT_EQ(recorder->hasFocus(), !ended);
        window.setFocus();
    }
}

TEST_F(RecorderTest, ApplicationShortcutsWaitWhileRecording) {
    int quits = 0;
    QShortcut quit(QKeySequence(Qt::CTRL | Qt::Key_Q), &window);
    QObject::connect(&quit, &QShortcut::activated, [&] { ++quits; });
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(recorder->isRecording());

    window.setFocus();
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
}

TEST_F(RecorderTest, IdleKeysArePassedOnAndLosingFocusEndsRecording) {
    recorder->setFocus();
    press(escapeKey, Qt::NoModifier);
    press(aKey, Qt::ShiftModifier);
    EXPECT_EQ(window.passedOn, 2);
    EXPECT_TRUE(captured.empty());

    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    EXPECT_FALSE(recorder->isRecording());
    press(aKey, Qt::ShiftModifier);
    EXPECT_TRUE(captured.empty());
}

}  // namespace
}  // namespace mavu::shortcut
