#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

namespace mavu::ui {

// Our artwork in the app's resources: named images at ":/images/<name>.svg" and symbols,
// black on transparent, at ":/symbols/<name>.svg". Each file is parsed once; drawings are
// rendered at the painter's device resolution, so they stay sharp under any scale, and
// kept for the next paint. Missing artwork draws nothing.

// Registers the artwork's resources (":/icons/mavu.svg" too); the drawing functions do it
// themselves, so only code that loads a resource path directly needs to call it first.
void loadArtwork();

bool hasImage(const QString& name);
// The named image, resizable and aspect-fit, centred in frame.
void drawImage(QPainter& painter, const QString& name, const QRectF& frame);

bool hasSymbol(const QString& name);
// The box a symbol takes when set at a font size: as tall as the size, as wide as the
// symbol's proportions make it.
QSizeF symbolSize(const QString& name, qreal fontSize);
// The symbol recoloured in color (its alpha included), aspect-fit and centred in box.
void drawSymbol(QPainter& painter, const QString& name, const QRectF& box, const QColor& color);
// The same as a pixmap of size logical pixels at dpr, for Qt widgets and menus.
QPixmap symbolPixmap(const QString& name, QSize size, const QColor& color, qreal dpr);

}  // namespace mavu::ui
