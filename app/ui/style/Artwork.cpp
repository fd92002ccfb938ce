#include "app/ui/style/Artwork.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>
#include <memory>

#ifdef MAVU_HAS_ARTWORK
// The resource initialiser lives in a static library: reference it so the linker keeps it.
static void initArtworkResources() {
    Q_INIT_RESOURCE(artwork);
}
#else
static void initArtworkResources() {}
#endif

namespace mavu::ui {
namespace {

// One parsed drawing per resource path, or null when there is none.
QSvgRenderer* renderer(const QString& path) {
    loadArtwork();
    static QHash<QString, std::shared_ptr<QSvgRenderer>> loaded;
    auto found = loaded.find(path);
    if (found == loaded.end()) {
        std::shared_ptr<QSvgRenderer> svg;
        if (QFile::exists(path)) {
            svg = std::make_shared<QSvgRenderer>(path);
            if (!svg->isValid()) {
                svg.reset();
            }
        }
        found = loaded.insert(path, svg);
    }
    return found->get();
}

QString imagePath(const QString& name) {
    return QStringLiteral(":/images/%1.svg").arg(name);
}
QString symbolPath(const QString& name) {
    return QStringLiteral(":/symbols/%1.svg").arg(name);
}

QRectF aspectFit(QSizeF content, const QRectF& frame) {
    if (content.isEmpty()) {
        return frame;
    }
    content.scale(frame.size(), Qt::KeepAspectRatio);
    return QRectF(frame.center() - QPointF(content.width() / 2, content.height() / 2), content);
}

// The drawing at exactly size device pixels, recoloured when tint is valid.
QImage rendered(const QString& path, QSize size, const QColor& tint) {
    const QString key = QStringLiteral("%1|%2x%3|%4")
                            .arg(path)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(tint.isValid() ? tint.rgba() : 0u, 0, 16);
    // Enough for every state of both panels in both schemes at two resolutions.
    static QCache<QString, QImage> cache(400);
    if (QImage* hit = cache.object(key)) {
        return *hit;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (QSvgRenderer* svg = renderer(path)) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, aspectFit(svg->defaultSize(), QRectF(QPointF(0, 0), size)));
        if (tint.isValid()) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), tint);
        }
    }
    cache.insert(key, new QImage(image));
    return image;
}

// Draws the drawing at path into frame pixel for pixel: the frame is taken to device
// pixels (whatever scales lie between, the device's pixel ratio included), rendered at
// that size and put back where those whole pixels lie, so nothing is resampled.
void drawExact(QPainter& painter, const QString& path, const QRectF& frame, const QColor& tint) {
    if (renderer(path) == nullptr || frame.isEmpty()) {
        return;
    }
    const QTransform toDevice = painter.deviceTransform();
    bool invertible = false;
    const QTransform fromDevice = toDevice.inverted(&invertible);
    if (toDevice.isRotating() || !invertible) {
        painter.drawImage(frame, rendered(path, frame.size().toSize(), tint));
        return;
    }
    const QRectF device = toDevice.mapRect(frame);
    const QRect pixels(QPoint(static_cast<int>(std::lround(device.left())),
                              static_cast<int>(std::lround(device.top()))),
                       QSize(std::max(1, static_cast<int>(std::lround(device.width()))),
                             std::max(1, static_cast<int>(std::lround(device.height())))));
    painter.drawImage(fromDevice.mapRect(QRectF(pixels)), rendered(path, pixels.size(), tint));
}

}  // namespace

void loadArtwork() {
    static bool initialised = (initArtworkResources(), true);
    (void)initialised;
}

bool hasImage(const QString& name) {
    return renderer(imagePath(name)) != nullptr;
}

void drawImage(QPainter& painter, const QString& name, const QRectF& frame) {
    const QString path = imagePath(name);
    if (QSvgRenderer* svg = renderer(path)) {
        drawExact(painter, path, aspectFit(svg->defaultSize(), frame), QColor());
    }
}

bool hasSymbol(const QString& name) {
    return renderer(symbolPath(name)) != nullptr;
}

QSizeF symbolSize(const QString& name, qreal fontSize) {
    QSvgRenderer* svg = renderer(symbolPath(name));
    if (svg == nullptr || svg->defaultSize().isEmpty()) {
        return QSizeF(fontSize, fontSize);
    }
    const QSizeF natural = svg->defaultSize();
    return QSizeF(fontSize * natural.width() / natural.height(), fontSize);
}

void drawSymbol(QPainter& painter, const QString& name, const QRectF& box, const QColor& color) {
    const QString path = symbolPath(name);
    if (QSvgRenderer* svg = renderer(path)) {
        drawExact(painter, path, aspectFit(svg->defaultSize(), box), color);
    }
}

QPixmap symbolPixmap(const QString& name, QSize size, const QColor& color, qreal dpr) {
    const QSize pixels(static_cast<int>(std::lround(size.width() * dpr)),
                       static_cast<int>(std::lround(size.height() * dpr)));
    QPixmap pixmap = QPixmap::fromImage(rendered(symbolPath(name), pixels, color));
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

}  // namespace mavu::ui
