#include "app/ui/style/ButtonStyles.h"

#include <QPainter>
#include <QPainterPath>

#include "app/ui/style/Palette.h"

namespace mavu::ui {
namespace {

QPainterPath roundedRect(const QRectF& frame, double radius) {
    QPainterPath path;
    path.addRoundedRect(frame, radius, radius);
    return path;
}

}  // namespace

QColor ApprovedMainButtonStyle::fill() const {
    return active ? accentRed() : panelLight();
}

void ApprovedMainButtonStyle::makeBody(QPainter& painter, const QRectF& frame, double pressed,
                                       const LabelPainter& label) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(0, kPressedOffset * pressed);
    // The outline straddles the edge, so the shadow is cast by the outer half of it too.
    const double outer = kOutlineWidth / 2;
    if (!dark) {
        painter.fillPath(roundedRect(frame.adjusted(-outer, -outer, outer, outer).translated(0, 4),
                                     kCornerRadius + outer),
                         QColor::fromRgbF(0, 0, 0, 0.055f));
    }
    const QPainterPath shape = roundedRect(frame, kCornerRadius);
    painter.fillPath(shape, fill());
    painter.strokePath(shape, QPen(QColor::fromRgbF(0, 0, 0, 0.96f), kOutlineWidth));
    if (label) {
        label(painter, frame);
    }
    painter.restore();
}

QColor ApprovedDurationButtonStyle::fill() const {
    if (!selected) {
        return Qt::transparent;
    }
    return active ? accentRed() : selectedAmber();
}

QColor ApprovedDurationButtonStyle::labelColor() const {
    return selected ? QColor(Qt::black) : ink(dark);
}

void ApprovedDurationButtonStyle::makeBody(QPainter& painter, const QRectF& frame, bool pressed,
                                           const LabelPainter& label) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (pressed) {
        painter.translate(frame.center());
        painter.scale(kPressedScale, kPressedScale);
        painter.translate(-frame.center());
    }
    const QPainterPath shape = roundedRect(frame, kCornerRadius);
    painter.fillPath(shape, fill());
    const QPen outline =
        selected ? QPen(QColor::fromRgbF(0, 0, 0, 0.9f), 1.8)
                 : QPen(withOpacity(primaryLabel(dark ? ColorScheme::dark : ColorScheme::light),
                                    dark ? 0.65 : 0.85),
                        1.2);
    painter.strokePath(shape, outline);
    if (label) {
        label(painter, frame);
    }
    painter.restore();
}

void SwitchStyle::draw(QPainter& painter, const QRectF& frame, bool on, bool pressed) const {
    const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;
    const QRectF track(frame.center() - QPointF(kWidth / 2, kHeight / 2), QSizeF(kWidth, kHeight));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor off = dark ? QColor::fromRgbF(1, 1, 1, 0.22f) : QColor::fromRgbF(0, 0, 0, 0.13f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(on ? systemRed(scheme) : off);
    painter.drawRoundedRect(track, kHeight / 2, kHeight / 2);
    // The knob widens a little while held, as desktop switches do.
    const double inset = 2;
    const double diameter = kHeight - 2 * inset;
    const double width = pressed ? diameter + 4 : diameter;
    const double x = on ? track.right() - inset - width : track.left() + inset;
    const QRectF knob(x, track.top() + inset, width, diameter);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.12f));
    painter.drawRoundedRect(knob.translated(0, 0.6), diameter / 2, diameter / 2);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(knob, diameter / 2, diameter / 2);
    painter.restore();
}

}  // namespace mavu::ui
