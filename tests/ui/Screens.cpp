// Writes pictures of the main panel and the settings sheet to the folder given
// (build/screens by `make screens`), light and dark, each at 1x and 2x: the panel armed,
// unarmed and with the setup alert; the sheet with the daemon current, outdated and
// unknown, while recording a shortcut, with the uninstall alerts, and scaled down for a
// short screen.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <cstdio>

#include "app/ui/MainPanelView.h"
#include "app/ui/settings/SettingsSheet.h"
#include "tests/model/ModelWorld.h"

using mavu::ui::ColorScheme;
using mavu::ui::MainPanelState;

namespace {

QString folder;
bool ok = true;

void save(QWidget& widget, const QString& name) {
    for (const int dpr : {1, 2}) {
        QImage image(widget.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        widget.render(&image);
        const QString file =
            QDir(folder).filePath(name + (dpr == 1 ? QString() : QStringLiteral("@2x")) + ".png");
        ok = image.save(file) && ok;
        std::printf("%s\n", qPrintable(file));
    }
}

// A model whose settings sheet is open and whose daemon answered with version and build,
// or did not answer at all.
struct World : mavu::testing::ModelWorld {
    explicit World(const char* daemonBuild) {
        launch().setShowSettings(true);
        dispatch.runUntilIdle();
        if (daemonBuild) {
            connector->sent.back()->replyVersion("1.3", daemonBuild);
        }
        dispatch.advance(3.0);
    }
    void shoot(ColorScheme scheme, const QString& name, bool recording = false,
               double scale = 1.0) {
        auto sheet = mavu::ui::makeSettingsSheet(*model, scheme, scale);
        sheet->show();
        if (recording) {
            sheet->activateWindow();
            ok = QTest::qWaitForWindowActive(sheet.get()) && ok;
            QTest::mouseClick(sheet->findChild<QWidget*>("shortcutRecorder"), Qt::LeftButton);
        }
        save(*sheet, name);
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens");
    QDir().mkpath(folder);

    mavu::ui::MainPanelView view({});
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString s = scheme == ColorScheme::dark ? "dark" : "light";
        for (const bool armed : {false, true}) {
            MainPanelState state;
            state.isArmed = state.launchAtLoginEnabled = armed;
            state.duration =
                armed ? mavu::app::DurationOption::two : mavu::app::DurationOption::infinite;
            state.scheme = scheme;
            view.setState(state);
            save(view, QStringLiteral("panel-%1-%2").arg(s, armed ? "armed" : "unarmed"));
        }
        MainPanelState alert;
        alert.scheme = scheme;
        alert.showSetupAlert = alert.helperNeedsApproval = true;
        alert.setupMessage = "Approve MAVU in System Settings → General → Login Items.";
        view.setState(alert);
        save(view, QStringLiteral("panel-%1-setup-alert").arg(s));

        World current("42");
        current.model->toggleLaunchAtLogin();
        current.shoot(scheme, QStringLiteral("settings-%1").arg(s));
        current.shoot(scheme, QStringLiteral("settings-%1-recording").arg(s), true);
        World outdated("41");
        outdated.shoot(scheme, QStringLiteral("settings-%1-helper-outdated").arg(s));
        outdated.model->setShowUninstallConfirm(true);
        outdated.shoot(scheme, QStringLiteral("settings-%1-uninstall-confirm").arg(s));
        outdated.model->setShowUninstallConfirm(false);
        outdated.model->setShowUninstallDone(true);
        outdated.shoot(scheme, QStringLiteral("settings-%1-uninstall-done").arg(s));
    }
    World unknown(nullptr);
    unknown.shoot(ColorScheme::dark, QStringLiteral("settings-dark-helper-unknown"));
    unknown.shoot(ColorScheme::light, QStringLiteral("settings-light-scaled"), false, 0.8);
    return ok ? 0 : 1;
}
