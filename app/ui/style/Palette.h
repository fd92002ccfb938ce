#pragma once

#include <QColor>

#include "platform/appearance/SystemAppearance.h"

namespace mavu::ui {

using appearance::ColorScheme;

inline bool isDark(ColorScheme scheme) {
    return scheme == ColorScheme::dark;
}

// The panels' palette (sRGB, opaque).
inline QColor panelLight() {
    return QColor::fromRgbF(0.975f, 0.961f, 0.922f);
}
inline QColor panelDark() {
    return QColor::fromRgbF(0.075f, 0.078f, 0.082f);
}
inline QColor accentRed() {
    return QColor::fromRgbF(0.82f, 0.3f, 0.32f);
}
inline QColor selectedAmber() {
    return QColor::fromRgbF(1.0f, 0.79f, 0.08f);
}
inline QColor armedTitleRed() {
    return QColor::fromRgbF(1.0f, 0.2f, 0.22f);
}
// Default text and symbol colour: white on the dark panel, black on the light one.
inline QColor ink(bool dark) {
    return dark ? QColor(Qt::white) : QColor(Qt::black);
}
inline QColor ink(ColorScheme scheme) {
    return ink(isDark(scheme));
}

// The background of both panels.
inline QColor panelBackground(ColorScheme scheme) {
    return isDark(scheme) ? panelDark() : panelLight();
}

// c with its opacity multiplied by opacity.
inline QColor withOpacity(QColor c, double opacity) {
    c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
    return c;
}

// The desktop's "primary label" colour the outlines are drawn in, before their own opacity.
inline QColor primaryLabel(ColorScheme scheme) {
    return isDark(scheme) ? QColor::fromRgbF(1, 1, 1, 0.85f) : QColor::fromRgbF(0, 0, 0, 0.85f);
}

// The standard red of switches, the settings tile outline and the close dot.
inline QColor systemRed(ColorScheme scheme) {
    return isDark(scheme) ? QColor::fromRgbF(1.0f, 0.271f, 0.227f)
                          : QColor::fromRgbF(1.0f, 0.231f, 0.188f);
}

}  // namespace mavu::ui
