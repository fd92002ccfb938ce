// mavu: the tray application.
#include <QApplication>
#include <QIcon>
#include <QSessionManager>
#include <cstdlib>

#include "app/model/LinuxAppModel.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/TerminationRequests.h"
#include "platform/appearance/SystemAppearance.h"
#include "platform/dispatch/qt/QtMainQueue.h"

int main(int argc, char** argv) {
    // X11 (XWayland under Wayland): the popover is placed by the app and the global
    // shortcut is an X11 key grab, which native Wayland allows neither of.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MAVU"));
    QApplication::setDesktopFileName(QStringLiteral("mavu"));
    // A tray agent: closing its panels never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    mavu::dispatch::QtDispatch dispatch;
    mavu::ui::AppDelegate delegate({
        .makeModel =
            [&dispatch](std::shared_ptr<mavu::alert::AlertPresenter> alerts) {
                return mavu::app::makeLinuxAppModel(dispatch, std::move(alerts));
            },
        .appearance = mavu::appearance::makeDesktopAppearance(),
        .endProcess = [] { QCoreApplication::exit(0); },
    });
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/mavu.svg")));

    mavu::ui::TerminationRequests quitSignals(
        dispatch.mainQueue(), [&delegate] { delegate.applicationShouldTerminate(); });
    // The session ending: the same rule, waited for here, as the session manager will not
    // come back for a deferred answer.
    QObject::connect(&application, &QGuiApplication::commitDataRequest,
                     [&delegate](QSessionManager&) { delegate.applicationShouldTerminate(); });

    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
