#pragma once

#include <QColor>
#include <QRectF>
#include <functional>

class QPainter;

namespace mavu::ui {

// Draws a button's label into the rectangle the style gives it (canvas points).
using LabelPainter = std::function<void(QPainter&, const QRectF&)>;

// The main panel's large keep-awake button.
struct ApprovedMainButtonStyle {
    bool active = false;  // the session is armed
    bool dark = false;    // dark scheme

    static constexpr double kCornerRadius = 28;
    static constexpr double kOutlineWidth = 5;
    static constexpr double kPressedOffset = 6;
    static constexpr int kPressAnimationMs = 80;  // ease-out, keyed on the pressed state

    QColor fill() const;
    // The decorated button in frame: shadow (light scheme), fill, outline, label; the whole
    // moved down by kPressedOffset × pressed (0 released … 1 pressed, animated by the caller).
    void makeBody(QPainter& painter, const QRectF& frame, double pressed,
                  const LabelPainter& label) const;
};

// One of the five duration choices.
struct ApprovedDurationButtonStyle {
    bool selected = false;  // this option is the model's duration
    bool active = false;    // the session is armed
    bool dark = false;      // dark scheme

    static constexpr double kCornerRadius = 9;
    static constexpr double kPressedScale = 0.96;

    // Transparent when not selected.
    QColor fill() const;
    // Black on a fill, ink otherwise.
    QColor labelColor() const;
    // Fill, outline and label in frame, scaled to kPressedScale about its centre while
    // pressed (no animation).
    void makeBody(QPainter& painter, const QRectF& frame, bool pressed,
                  const LabelPainter& label) const;
};

// The switch of the settings rows: a pill tinted the system red when on, with a white knob.
struct SwitchStyle {
    bool dark = false;
    static constexpr double kWidth = 38;
    static constexpr double kHeight = 22;

    // Draws the switch centred in frame.
    void draw(QPainter& painter, const QRectF& frame, bool on, bool pressed) const;
};

}  // namespace mavu::ui
