#include "app/shortcut/recorder/ShortcutRecorder.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include "platform/hotkey/X11Keys.h"

namespace mavu::shortcut {
namespace {

// Escape's position code: it cancels recording and can never become a shortcut.
constexpr std::uint32_t escapeKey = 53;

QFont labelFont(const QFont& base) {
    QFont font = base;
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    return font;
}

}  // namespace

std::uint64_t comboModifiers(Qt::KeyboardModifiers modifiers) {
    std::uint64_t bits = 0;
    if (modifiers & Qt::ShiftModifier) {
        bits |= modifier::shift;
    }
    if (modifiers & Qt::ControlModifier) {
        bits |= modifier::control;
    }
    if (modifiers & Qt::AltModifier) {
        bits |= modifier::option;
    }
    if (modifiers & Qt::MetaModifier) {
        bits |= modifier::command;
    }
    return bits;
}

ShortcutRecorder::ShortcutRecorder(QWidget* parent)
    : QWidget(parent),
      ink_(palette().color(QPalette::WindowText)),
      accent_(palette().color(QPalette::Highlight)) {
    setFocusPolicy(Qt::ClickFocus);
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
}

void ShortcutRecorder::setCombo(const KeyCombo& combo) {
    combo_ = combo;
    update();
}

void ShortcutRecorder::setInk(const QColor& ink) {
    ink_ = ink;
    update();
}

void ShortcutRecorder::setAccent(const QColor& accent) {
    accent_ = accent;
    update();
}

void ShortcutRecorder::setRecording(bool recording) {
    recording_ = recording;
    update();
}

bool ShortcutRecorder::event(QEvent* event) {
    // While recording every key is ours: an application shortcut (Ctrl+Q quits, Escape
    // closes the sheet) must not fire instead of being recorded or cancelling.
    if (recording_ && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void ShortcutRecorder::mousePressEvent(QMouseEvent* event) {
    setRecording(true);
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event) {
    if (!recording_) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const std::uint32_t scanCode = event->nativeScanCode();
    const auto position = hotkey::positionCode(scanCode);
    if (position == escapeKey) {
        setRecording(false);
        clearFocus();
        return;
    }
    // A modifier pressed on its own is the user still building the combination.
    if (hotkey::isModifierKeycode(scanCode)) {
        return;
    }
    const std::uint64_t modifiers = comboModifiers(event->modifiers()) & recordableModifiers;
    // A key without a modifier would take the key from every other program; a key with no
    // position code could not be registered. Both ask for another try.
    if (modifiers == 0 || !position) {
        beep_();
        return;
    }
    setRecording(false);
    clearFocus();
    if (onCapture_) {
        // Copied: the handler may replace this widget's owner.
        const auto handler = onCapture_;
        handler(KeyCombo{*position, modifiers});
    }
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event) {
    setRecording(false);
    QWidget::focusOutEvent(event);
}

void ShortcutRecorder::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    QColor stroke = recording_ ? accent_ : ink_;
    if (!recording_) {
        stroke.setAlphaF(0.55f);
    }
    painter.setPen(QPen(stroke, recording_ ? 1.6 : 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame, 6, 6);

    painter.setPen(recording_ ? accent_ : ink_);
    painter.setFont(labelFont(font()));
    const QString text = recording_ ? QStringLiteral("Press a shortcut…")
                                    : QString::fromStdString(combo_.displayString());
    painter.drawText(QRectF(rect()), Qt::AlignCenter, text);
}

}  // namespace mavu::shortcut
