#include "app/ui/StatusIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace mavu::ui {
namespace {

// The drawing's coordinates have their origin at the bottom left, as the eye was
// designed; y is flipped once here.
QPointF at(double x, double y) {
    return {x, kStatusIconSize.height() - y};
}

void line(QPainter& painter, double x1, double y1, double x2, double y2) {
    painter.drawLine(at(x1, y1), at(x2, y2));
}

// Draws the eye into a painter whose units are the icon's points.
void drawEye(QPainter& painter, bool armed, const QColor& color) {
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color);
    pen.setCapStyle(Qt::RoundCap);
    painter.setBrush(Qt::NoBrush);
    if (armed) {
        QPainterPath outline(at(2.7, 8.6));
        outline.cubicTo(at(6.4, 14.2), at(15.6, 14.2), at(19.3, 8.6));
        outline.cubicTo(at(15.6, 3.15), at(6.4, 3.15), at(2.7, 8.6));
        pen.setWidthF(2.0);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawPath(outline);

        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        // The pupil's rectangle has its origin at its bottom-left corner.
        painter.drawEllipse(QRectF(at(9.35, 6.95 + 3.3), QSizeF(3.3, 3.3)));
        painter.setBrush(Qt::NoBrush);

        pen.setWidthF(1.25);
        painter.setPen(pen);
        line(painter, 4.8, 11.3, 3.8, 14.0);
        line(painter, 7.8, 12.6, 7.2, 15.3);
        line(painter, 11.0, 13.0, 11.0, 15.8);
        line(painter, 14.2, 12.6, 14.8, 15.3);
        line(painter, 17.2, 11.3, 18.2, 14.0);
    } else {
        QPainterPath lid(at(2.7, 10.2));
        lid.cubicTo(at(6.5, 5.8), at(15.5, 5.8), at(19.3, 10.2));
        pen.setWidthF(2.1);
        painter.setPen(pen);
        painter.drawPath(lid);

        pen.setWidthF(1.25);
        painter.setPen(pen);
        line(painter, 4.6, 8.1, 3.6, 5.3);
        line(painter, 7.8, 7.0, 7.2, 4.4);
        line(painter, 11.0, 6.7, 11.0, 4.1);
        line(painter, 14.2, 7.0, 14.8, 4.4);
        line(painter, 17.4, 8.1, 18.4, 5.3);
    }
}

}  // namespace

void drawStatusEye(QPainter& painter, const QRectF& rect, bool armed, const QColor& color) {
    const double scale =
        std::min(rect.width() / kStatusIconSize.width(), rect.height() / kStatusIconSize.height());
    painter.save();
    painter.translate(rect.center());
    painter.scale(scale, scale);
    painter.translate(-kStatusIconSize.width() / 2, -kStatusIconSize.height() / 2);
    drawEye(painter, armed, color);
    painter.restore();
}

namespace {

class EyeIconEngine final : public QIconEngine {
  public:
    EyeIconEngine(bool armed, QColor color) : armed_(armed), color_(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor color = color_;
        if (mode == QIcon::Disabled) {
            color.setAlphaF(color.alphaF() * 0.4f);
        }
        drawStatusEye(*painter, rect, armed_, color);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        const QSize pixels(static_cast<int>(std::lround(size.width() * scale)),
                           static_cast<int>(std::lround(size.height() * scale)));
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            paint(&painter, image.rect(), mode, state);
        }
        QPixmap result = QPixmap::fromImage(image);
        result.setDevicePixelRatio(scale);
        return result;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    // The sizes trays ask for; StatusNotifierItem hosts get each of them over the bus.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
    }
    QString key() const override { return QStringLiteral("mavu-eye"); }
    QIconEngine* clone() const override { return new EyeIconEngine(armed_, color_); }

  private:
    bool armed_;
    QColor color_;
};

}  // namespace

QImage statusIcon(bool armed, const QColor& color, qreal dpr) {
    QImage image(static_cast<int>(std::lround(kStatusIconSize.width() * dpr)),
                 static_cast<int>(std::lround(kStatusIconSize.height() * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    drawEye(painter, armed, color);
    return image;
}

QIcon statusIconSet(bool armed, const QColor& color) {
    return QIcon(new EyeIconEngine(armed, color));
}

QColor trayInk(ColorScheme desktop, const QString& currentDesktop) {
    const QStringList names = currentDesktop.toLower().split(QLatin1Char(':'));
    for (const QString& name : names) {
        if (name == QLatin1String("gnome") || name == QLatin1String("unity") ||
            name == QLatin1String("ubuntu") || name == QLatin1String("pantheon")) {
            return Qt::white;
        }
    }
    return isDark(desktop) ? QColor(Qt::white) : QColor(Qt::black);
}

}  // namespace mavu::ui
