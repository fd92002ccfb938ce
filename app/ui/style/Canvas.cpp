#include "app/ui/style/Canvas.h"

#include <QEasingCurve>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

#include "app/ui/style/ButtonStyles.h"

namespace mavu::ui {

CanvasView::CanvasView(QSizeF canvasSize, double scale, QWidget* parent)
    : QWidget(parent), canvasSize_(canvasSize), scale_(scale) {
    setScale(scale);
    setMouseTracking(false);
}

CanvasView::~CanvasView() = default;

void CanvasView::setScale(double scale) {
    scale_ = scale;
    setFixedSize(static_cast<int>(std::lround(canvasSize_.width() * scale)),
                 static_cast<int>(std::lround(canvasSize_.height() * scale)));
    update();
}

void CanvasView::setPaintFunction(PaintFunction paint) {
    paint_ = std::move(paint);
    update();
}

void CanvasView::setControls(std::vector<CanvasControl> controls) {
    controls_ = std::move(controls);
    if (!held_.isEmpty() && !control(held_)) {
        held_.clear();
        setPressedInside(false);
    }
    update();
}

std::optional<CanvasControl> CanvasView::control(const QString& name) const {
    for (const auto& c : controls_) {
        if (c.name == name) {
            return c;
        }
    }
    return std::nullopt;
}

double CanvasView::pressAmount(const QString& name) const {
    if (name.isEmpty()) {
        return 0;
    }
    const auto c = control(name);
    if (c && c->animatesPress) {
        return animated_ == name ? animatedPress_ : 0;
    }
    return pressed_ == name ? 1 : 0;
}

QPointF CanvasView::toWidget(QPointF canvasPoint) const {
    return canvasPoint * scale_;
}
QPointF CanvasView::toCanvas(QPointF widgetPoint) const {
    return widgetPoint / scale_;
}

const CanvasControl* CanvasView::controlAt(QPointF widgetPoint) const {
    const QPointF point = toCanvas(widgetPoint);
    // Later controls are drawn on top, so they are hit first.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        if (it->frame.contains(point)) {
            return &*it;
        }
    }
    return nullptr;
}

void CanvasView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    painter.scale(scale_, scale_);
    painter.setClipRect(QRectF(QPointF(0, 0), canvasSize_));
    if (paint_) {
        paint_(painter);
    }
}

void CanvasView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const CanvasControl* hit = controlAt(event->position());
    held_ = hit != nullptr ? hit->name : QString();
    setPressedInside(hit != nullptr);
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (held_.isEmpty()) {
        return;
    }
    const CanvasControl* hit = controlAt(event->position());
    setPressedInside(hit != nullptr && hit->name == held_);
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || held_.isEmpty()) {
        return;
    }
    const CanvasControl* hit = controlAt(event->position());
    std::function<void()> action;
    if (hit != nullptr && hit->name == held_) {
        action = hit->action;
    }
    setPressedInside(false);
    held_.clear();
    update();
    // Last: the action may rebuild the controls, or close the window holding this view.
    if (action) {
        action();
    }
}

void CanvasView::setPressedInside(bool inside) {
    const QString now = inside ? held_ : QString();
    if (now == pressed_) {
        return;
    }
    pressed_ = now;
    const auto c = held_.isEmpty() ? std::nullopt : control(held_);
    if (c && c->animatesPress) {
        if (pressAnimation_ == nullptr) {
            pressAnimation_ = new QVariantAnimation(this);
            pressAnimation_->setDuration(ApprovedMainButtonStyle::kPressAnimationMs);
            pressAnimation_->setEasingCurve(QEasingCurve::OutQuad);
            connect(pressAnimation_, &QVariantAnimation::valueChanged, this,
                    [this](const QVariant& value) {
                        animatedPress_ = value.toDouble();
                        update();
                    });
        }
        pressAnimation_->stop();
        if (animated_ != held_) {
            animated_ = held_;
            animatedPress_ = 0;
        }
        pressAnimation_->setStartValue(animatedPress_);
        pressAnimation_->setEndValue(inside ? 1.0 : 0.0);
        pressAnimation_->start();
    } else {
        animatedPress_ = 0;
    }
    update();
}

bool CanvasView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const CanvasControl* hit = controlAt(help->pos());
        if (hit != nullptr && !hit->toolTip.isEmpty()) {
            const QRectF area(toWidget(hit->frame.topLeft()), toWidget(hit->frame.bottomRight()));
            QToolTip::showText(help->globalPos(), hit->toolTip, this, area.toAlignedRect());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace mavu::ui
