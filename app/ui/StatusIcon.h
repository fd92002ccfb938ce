#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSizeF>
#include <QString>

class QPainter;

#include "app/ui/style/Palette.h"

namespace mavu::ui {

// The status item's eye, in points.
inline constexpr QSizeF kStatusIconSize{22, 18};

// The eye drawn in code, in one colour on transparent: open with a filled pupil and five
// upward lashes when armed, a closed lid with five downward lashes otherwise. The image
// is 22 × 18 points at dpr, so it stays sharp on any screen.
QImage statusIcon(bool armed, const QColor& color, qreal dpr);

// The eye aspect-fit and centred in rect, on any painter.
void drawStatusEye(QPainter& painter, const QRectF& rect, bool armed, const QColor& color);

// The same as an icon the tray can ask for at any size: each request is drawn afresh at
// that size (aspect-fit, centred), never scaled from a bitmap.
QIcon statusIconSet(bool armed, const QColor& color);

// One colour that stands out on the panel the tray sits on: GNOME-like shells keep their
// top bar dark in both schemes; elsewhere the panel follows the desktop's scheme.
QColor trayInk(ColorScheme desktop, const QString& currentDesktop);

}  // namespace mavu::ui
