// Writes pictures of the settings sheet to the folder given (build/screens by `make
// screens`): light and dark, the daemon line outdated, the recorder while recording, the
// uninstall alerts, and the sheet scaled down for a short screen; each at 1x and 2x.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <cstdio>

#include "app/shortcut/recorder/ShortcutRecorder.h"
#include "app/ui/settings/SettingsSheet.h"
#include "tests/model/ModelWorld.h"

using mavu::ui::ColorScheme;

namespace {

bool save(QWidget& sheet, const QString& folder, const QString& name) {
    bool ok = true;
    for (const int dpr : {1, 2}) {
        QImage image(sheet.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        sheet.render(&image);
        const QString file =
            QDir(folder).filePath(name + (dpr == 1 ? QString() : QStringLiteral("@2x")) + ".png");
        ok = image.save(file) && ok;
        std::printf("%s\n", qPrintable(file));
    }
    return ok;
}

// A model whose settings sheet is open and whose daemon answered with version and build.
struct World {
    explicit World(const std::string& daemonBuild) {
        auto& model = world.launch();
        model.setShowSettings(true);
        world.dispatch.runUntilIdle();
        world.connector->sent.back()->replyVersion("1.3", daemonBuild);
        world.dispatch.runUntilIdle();
    }
    mavu::testing::ModelWorld world;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens");
    QDir().mkpath(folder);
    bool ok = true;
    const auto shoot = [&](World& world, ColorScheme scheme, const QString& name,
                           const std::function<void(QWidget&)>& prepare = {}, double scale = 1.0) {
        auto sheet = mavu::ui::makeSettingsSheet(*world.world.model, scheme, scale);
        sheet->show();
        if (prepare) {
            prepare(*sheet);
        }
        ok = save(*sheet, folder, name) && ok;
    };

    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString schemeName = scheme == ColorScheme::dark ? "dark" : "light";
        World current("42");
        current.world.model->toggleLaunchAtLogin();
        shoot(current, scheme, QStringLiteral("settings-%1").arg(schemeName));

        World outdated("41");
        shoot(outdated, scheme, QStringLiteral("settings-%1-helper-outdated").arg(schemeName));
        outdated.world.model->setShowUninstallConfirm(true);
        shoot(outdated, scheme, QStringLiteral("settings-%1-uninstall-confirm").arg(schemeName));
        outdated.world.model->setShowUninstallConfirm(false);
        outdated.world.model->setShowUninstallDone(true);
        shoot(outdated, scheme, QStringLiteral("settings-%1-uninstall-done").arg(schemeName));
        outdated.world.model->setShowUninstallDone(false);

        shoot(current, scheme, QStringLiteral("settings-%1-recording").arg(schemeName),
              [](QWidget& sheet) {
                  auto* recorder = dynamic_cast<mavu::shortcut::ShortcutRecorder*>(
                      sheet.findChild<QWidget*>(QStringLiteral("shortcutRecorder")));
                  sheet.activateWindow();
                  if (!QTest::qWaitForWindowActive(&sheet)) {
                      std::fprintf(stderr, "the sheet did not become active\n");
                  }
                  QTest::mouseClick(recorder, Qt::LeftButton);
              });
    }
    World unknown("42");
    unknown.world.model->setShowSettings(false);
    unknown.world.model->setShowSettings(true);
    unknown.world.dispatch.advance(3.0);  // the daemon does not answer
    shoot(unknown, ColorScheme::dark, QStringLiteral("settings-dark-helper-unknown"));
    shoot(unknown, ColorScheme::light, QStringLiteral("settings-light-scaled"), {}, 0.8);
    return ok ? 0 : 1;
}
