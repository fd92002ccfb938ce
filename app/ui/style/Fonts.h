#pragma once

#include <QFont>

namespace mavu::ui {

enum class FontWeight { regular, medium, semibold, bold, black };

// Sizes are in canvas points, which are pixels before the panel's scale. Every face falls
// back quietly to the desktop's font when its package is not installed.

// The desktop's own sans-serif ("system font, default design").
QFont systemFont(int size, FontWeight weight = FontWeight::regular);
// A rounded sans (Quicksand) for the rounded design.
QFont roundedFont(int size, FontWeight weight = FontWeight::regular);
// The casual hand-lettered face of the titles and the main button (Comic Neue, bold).
QFont casualFont(int size);

// Letter tracking in points, as the panels specify it.
void setTracking(QFont& font, double points);

}  // namespace mavu::ui
