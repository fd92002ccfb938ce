#include "app/ui/settings/SettingsSheet.h"

#include <QPainter>

#include "app/ui/style/Canvas.h"
#include "app/ui/style/Fonts.h"

namespace mavu::ui {

// Until the settings sheet proper lands: its frame, title and close dot.
std::unique_ptr<QWidget> makeSettingsSheet(app::AppModel& model, ColorScheme scheme, double scale) {
    auto view =
        std::make_unique<CanvasView>(QSizeF(kSettingsSheetWidth, kSettingsSheetHeight), scale);
    view->setPaintFunction([scheme](QPainter& painter) {
        painter.fillRect(QRectF(0, 0, kSettingsSheetWidth, kSettingsSheetHeight),
                         panelBackground(scheme));
        painter.setPen(ink(scheme));
        painter.setFont(systemFont(15, FontWeight::bold));
        painter.drawText(QRectF(0, 12, kSettingsSheetWidth, 28), Qt::AlignCenter,
                         QStringLiteral("Settings"));
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(systemRed(scheme), 0.92));
        painter.drawEllipse(QRectF(18, 19, 14, 14));
    });
    view->setControls({{QStringLiteral("close"), QRectF(18, 19, 14, 14), {}, [&model] {
                            model.setShowSettings(false);
                        }}});
    return view;
}

}  // namespace mavu::ui
