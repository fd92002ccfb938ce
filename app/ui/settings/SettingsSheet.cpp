#include "app/ui/settings/SettingsSheet.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <cmath>

#include "app/ui/settings/SettingsView.h"

namespace mavu::ui {
namespace {

// Scales a widget tree as one drawing; it still takes clicks, keys and the focus.
class ScaledSheet : public QGraphicsView {
  public:
    ScaledSheet(std::unique_ptr<QWidget> content, double scale) {
        auto* scene = new QGraphicsScene(this);
        QGraphicsProxyWidget* proxy = scene->addWidget(content.release());
        // The keys the view receives go to the sheet inside (its shortcuts, the recorder).
        proxy->setFocus();
        setScene(scene);
        setFrameShape(QFrame::NoFrame);
        // The sheet's rounded corners stay transparent, as they are unscaled.
        setAttribute(Qt::WA_TranslucentBackground);
        viewport()->setAutoFillBackground(false);
        setBackgroundBrush(Qt::NoBrush);
        scene->setBackgroundBrush(Qt::NoBrush);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                       QPainter::SmoothPixmapTransform);
        setSceneRect(0, 0, kSettingsSheetWidth, kSettingsSheetHeight);
        this->scale(scale, scale);
        setFixedSize(static_cast<int>(std::ceil(kSettingsSheetWidth * scale)),
                     static_cast<int>(std::ceil(kSettingsSheetHeight * scale)));
        setAccessibleName(QStringLiteral("Settings"));
    }
};

}  // namespace

std::unique_ptr<QWidget> makeSettingsSheet(app::AppModel& model, ColorScheme scheme, double scale) {
    auto view = std::make_unique<SettingsView>(model, scheme);
    if (!(scale < 1.0) || scale <= 0) {
        return view;
    }
    return std::make_unique<ScaledSheet>(std::move(view), scale);
}

}  // namespace mavu::ui
