#pragma once

#include <QApplication>
#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/shortcut/KeyCombo.h"

namespace mavu::shortcut {

// The four modifier bits a recorded combination may hold (shift, control, option,
// command); nothing else ever reaches onCapture.
inline constexpr std::uint64_t recordableModifiers = 0x1E0000;

// Qt's keyboard modifiers as KeyCombo bits: shift, control, Alt → option, Super (Qt's
// Meta on X11 and Wayland) → command. Keypad, AltGr and the rest are dropped.
std::uint64_t comboModifiers(Qt::KeyboardModifiers modifiers);

// Shows the current shortcut and, after a click, records the next combination pressed.
// The key is taken by its physical position (the event's native scan code), so a
// combination recorded under one keyboard layout is the same key under every other.
// It only captures: registering the combination is the owner's job, and the owner sets
// combo back to whatever it decided.
class ShortcutRecorder : public QWidget {
  public:
    using CaptureHandler = std::function<void(const KeyCombo&)>;

    explicit ShortcutRecorder(QWidget* parent = nullptr);

    const KeyCombo& combo() const { return combo_; }
    void setCombo(const KeyCombo& combo);
    const QColor& ink() const { return ink_; }
    void setInk(const QColor& ink);
    const QColor& accent() const { return accent_; }
    void setAccent(const QColor& accent);
    bool isRecording() const { return recording_; }
    void setRecording(bool recording);
    // Called once per captured combination, after recording has ended. The handler may
    // replace or delete this widget's window content (through deleteLater).
    void setOnCapture(CaptureHandler handler) { onCapture_ = std::move(handler); }
    // How a refused key is signalled: QApplication::beep() unless replaced.
    void setBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    QSize sizeHint() const override { return {140, 26}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    KeyCombo combo_ = defaultCombo;
    QColor ink_;
    QColor accent_;
    CaptureHandler onCapture_;
    std::function<void()> beep_ = [] { QApplication::beep(); };
    bool recording_ = false;
};

}  // namespace mavu::shortcut
