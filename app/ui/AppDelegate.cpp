#include "app/ui/AppDelegate.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/ui/StatusIcon.h"
#include "app/ui/style/Artwork.h"

namespace mavu::ui {

AppDelegate::AppDelegate(AppDelegateParts parts)
    : model_((loadArtwork(), parts.makeModel(alerts_))),
      desktop_(std::move(parts.appearance)),
      endProcess_(std::move(parts.endProcess)) {
    model_->setEndSheets([alerts = std::weak_ptr<QtAlertPresenter>(alerts_),
                          model = std::weak_ptr<app::AppModel>(model_)] {
        if (auto presenter = alerts.lock()) {
            presenter->endAlert();
        }
        if (auto m = model.lock(); m && m->showSetupAlert().get()) {
            m->setShowSetupAlert(false);
        }
    });
}

AppDelegate::~AppDelegate() {
    subscriptions_.clear();
    delete menu_.data();
}

void AppDelegate::applicationDidFinishLaunching() {
    setupPopover();
    model_->showUpdateNoticeIfNeeded();
    setupStatusItem();
    // Notifications go to the desktop's notification server, which needs no authorisation
    // and shows them whether or not the popover is open.
    QTimer::singleShot(0, qApp, [model = std::weak_ptr<app::AppModel>(model_)] {
        if (auto m = model.lock()) {
            m->helper().ensureHelperReady([](bool) {});
        }
    });
}

void AppDelegate::setupPopover() {
    popover_ = std::make_unique<Popover>(*model_, desktop_, [this] { popoverDidClose(); });
    // An error raised while the popover is closed (the hot key, the menu) opens it, so the
    // alert is seen where the user looks.
    subscriptions_.push_back(model_->showSetupAlert().subscribe([this](bool shown) {
        if (shown && statusItem_ && !popover_->isShown()) {
            showPopover();
        }
    }));
}

void AppDelegate::setupStatusItem() {
    statusItem_ = std::make_unique<QSystemTrayIcon>();
    updateStatusItem();
    QObject::connect(statusItem_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Context) {
                             statusItemClicked(Click::right);
                         } else if (reason == QSystemTrayIcon::Trigger) {
                             statusItemClicked(Click::left);
                         }
                     });
    subscriptions_.push_back(
        model_->isArmed().subscribe([this](bool armed) { updateStatusItem(armed); }));
    // One colour that contrasts with the tray: redrawn when the desktop's scheme changes.
    subscriptions_.push_back(
        desktop_.scheme().subscribe([this](ColorScheme) { updateStatusItem(); }));
    statusItem_->show();
}

void AppDelegate::updateStatusItem(std::optional<bool> armed) {
    if (!statusItem_) {
        return;
    }
    const bool on = armed.value_or(model_->isArmed().get());
    const QColor color =
        trayInk(desktop_.scheme().get(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    statusItem_->setIcon(statusIconSet(on, color));
    statusItem_->setToolTip(on ? QStringLiteral("MAVU is on") : QStringLiteral("MAVU is off"));
}

QRect AppDelegate::statusItemGeometry() const {
    return statusItem_ ? statusItem_->geometry() : QRect();
}

void AppDelegate::statusItemClicked(Click click) {
    if (click == Click::right) {
        showContextMenu();
        return;
    }
    if (popover_->isShown()) {
        model_->dismissPanels();
        popover_->close();
    } else {
        showPopover();
    }
}

void AppDelegate::showPopover() {
    popover_->show(statusItemGeometry(), QCursor::pos());
}

void AppDelegate::showSettings() {
    showPopover();
    model_->setShowSettings(true);
}

void AppDelegate::popoverDidClose() {
    // A click outside closed it: the transient close and the outside monitor in one.
    model_->dismissPanels();
    model_->setShowSettings(false);
}

void AppDelegate::showContextMenu() {
    delete menu_.data();
    auto* menu = new QMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Open MAVU"), [this] { openFromMenu(); });
    menu->addAction(
        model_->isArmed().get() ? QStringLiteral("Turn Off") : QStringLiteral("Turn On"),
        [this] { toggleFromMenu(); });
    menu->addSeparator();
    QAction* check = menu->addAction(QStringLiteral("Check for Updates…"),
                                     [this] { checkForUpdatesFromMenu(); });
    check->setEnabled(model_->canCheckForUpdates());
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("Quit MAVU"), [this] { quitFromMenu(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutVisibleInContextMenu(true);
    menu_ = menu;
    const QRect icon = statusItemGeometry();
    QPoint at = QCursor::pos();
    if (icon.isValid() && !icon.isEmpty()) {
        const QSize size = menu->sizeHint();
        at = popoverPosition(icon, at, QGuiApplication::primaryScreen()->availableGeometry(), size);
    }
    menu->popup(at);
}

void AppDelegate::openFromMenu() {
    showPopover();
}
void AppDelegate::toggleFromMenu() {
    model_->toggle();
}
void AppDelegate::checkForUpdatesFromMenu() {
    model_->checkForUpdates();
}
void AppDelegate::quitFromMenu() {
    model_->quit();
}

void AppDelegate::applicationShouldTerminate() {
    if (terminating_) {
        return;
    }
    terminating_ = true;
    if (!model_->isArmed().get()) {
        endProcess_();
        return;
    }
    // The model's fields stay as they are on this path.
    model_->helper().forceSafeOff([end = endProcess_] { end(); });
}

}  // namespace mavu::ui
