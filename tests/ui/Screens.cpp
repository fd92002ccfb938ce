// Writes pictures of the main panel in every state to the folder given (build/screens by
// `make screens`): light and dark, armed and unarmed, and with the setup alert, each at
// 1x (the popover's 408 × 503) and 2x.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "app/ui/MainPanelView.h"

using mavu::ui::ColorScheme;
using mavu::ui::MainPanelState;
using mavu::ui::MainPanelView;

namespace {

bool save(MainPanelView& view, const QString& folder, const QString& name) {
    bool ok = true;
    for (const int dpr : {1, 2}) {
        QImage image(view.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        view.render(&image);
        const QString file =
            QDir(folder).filePath(name + (dpr == 1 ? QString() : QStringLiteral("@2x")) + ".png");
        ok = image.save(file) && ok;
        std::printf("%s\n", qPrintable(file));
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens");
    QDir().mkpath(folder);

    MainPanelView view({});
    bool ok = true;
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString schemeName = scheme == ColorScheme::dark ? "dark" : "light";
        for (const bool armed : {false, true}) {
            MainPanelState state;
            state.scheme = scheme;
            state.isArmed = armed;
            state.duration =
                armed ? mavu::app::DurationOption::two : mavu::app::DurationOption::infinite;
            state.launchAtLoginEnabled = armed;
            view.setState(state);
            ok = save(view, folder,
                      QStringLiteral("panel-%1-%2").arg(schemeName, armed ? "armed" : "unarmed")) &&
                 ok;
        }
        MainPanelState alert;
        alert.scheme = scheme;
        alert.showSetupAlert = true;
        alert.helperNeedsApproval = true;
        alert.setupMessage = "Approve MAVU in System Settings → General → Login Items.";
        view.setState(alert);
        ok = save(view, folder, QStringLiteral("panel-%1-setup-alert").arg(schemeName)) && ok;
    }
    return ok ? 0 : 1;
}
