#pragma once

#include <QSizeF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QVariantAnimation;

namespace mavu::ui {

// A control on a canvas: its frame (canvas points) is also its hit area.
struct CanvasControl {
    QString name;  // identifies the control (tests, the pressed state)
    QRectF frame;
    QString toolTip;
    std::function<void()> action;  // runs when a press is released inside the frame
    bool animatesPress = false;    // pressAmount() eases in and out over kPressAnimationMs
};

// A widget that draws a fixed-size canvas scaled uniformly into itself, top-left aligned,
// and turns clicks into the actions of the controls under them. The panels describe
// themselves as a paint function plus a list of controls, both rebuilt on every change of
// what they show, so the whole canvas scales as one drawing and stays sharp.
class CanvasView : public QWidget {
  public:
    using PaintFunction = std::function<void(QPainter&)>;

    // The widget is canvasSize × scale, rounded to whole pixels.
    CanvasView(QSizeF canvasSize, double scale, QWidget* parent = nullptr);
    ~CanvasView() override;

    QSizeF canvasSize() const { return canvasSize_; }
    double scale() const { return scale_; }
    void setScale(double scale);

    // Called with the painter in canvas points (after the scale).
    void setPaintFunction(PaintFunction paint);
    // Replaces the controls; a press in progress continues if its control is still there.
    void setControls(std::vector<CanvasControl> controls);
    const std::vector<CanvasControl>& controls() const { return controls_; }
    std::optional<CanvasControl> control(const QString& name) const;

    // The control held down with the pointer inside it; empty when none.
    const QString& pressedControl() const { return pressed_; }
    // 0 … 1: how far the control's press has gone (eased for animatesPress controls).
    double pressAmount(const QString& name) const;

    // Canvas points to widget pixels and back.
    QPointF toWidget(QPointF canvasPoint) const;
    QPointF toCanvas(QPointF widgetPoint) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    const CanvasControl* controlAt(QPointF widgetPoint) const;
    void setPressedInside(bool inside);

    QSizeF canvasSize_;
    double scale_;
    PaintFunction paint_;
    std::vector<CanvasControl> controls_;
    QString held_;     // the control the press began on
    QString pressed_;  // held_ while the pointer is inside it
    QVariantAnimation* pressAnimation_ = nullptr;
    QString animated_;  // the control the press animation belongs to
    double animatedPress_ = 0;
};

}  // namespace mavu::ui
