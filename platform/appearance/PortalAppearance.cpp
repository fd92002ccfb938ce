#include "platform/appearance/PortalAppearance.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>
#include <utility>

namespace mavu::appearance {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// The portal is started on demand by the bus; its first answer can take a moment, and the
// palette stands in meanwhile.
constexpr int kReadTimeoutMs = 5000;

}  // namespace

std::optional<ColorScheme> schemeFromPortalValue(const QVariant& value) {
    QVariant inner = value;
    // Read() answers a variant inside a variant; ReadOne() and SettingChanged one variant.
    for (int depth = 0; depth < 4 && inner.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth) {
        inner = inner.value<QDBusVariant>().variant();
    }
    if (inner.metaType() != QMetaType::fromType<uint>() &&
        inner.metaType() != QMetaType::fromType<int>()) {
        return std::nullopt;
    }
    switch (inner.toInt()) {
        case 1:
            return ColorScheme::dark;
        case 2:
            return ColorScheme::light;
        default:
            return std::nullopt;
    }
}

ColorScheme schemeFromPalette() {
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
}

PortalAppearance::PortalAppearance(QDBusConnection bus)
    : bus_(std::move(bus)), palette_(schemeFromPalette()) {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    if (!bus_.isConnected()) {
        return;
    }
    // The slot's variant type must be known before the first match is made.
    qRegisterMetaType<QDBusVariant>();
    bus_.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                 SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    read(QStringLiteral("ReadOne"));
}

PortalAppearance::~PortalAppearance() {
    if (bus_.isConnected()) {
        bus_.disconnect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                        SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    }
}

ColorScheme PortalAppearance::current() const {
    return portal_.value_or(palette_);
}

void PortalAppearance::setChangeHandler(ChangeHandler handler) {
    handler_ = std::move(handler);
}

void PortalAppearance::read(const QString& method) {
    auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message << kGroup << kKey;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(message, kReadTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* done) { onReadFinished(done, method); });
}

void PortalAppearance::onReadFinished(QDBusPendingCallWatcher* call, const QString& method) {
    call->deleteLater();
    const QDBusMessage reply = call->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Portals before version 2 of the interface only have Read().
        if (method == QStringLiteral("ReadOne") &&
            reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")) {
            read(QStringLiteral("Read"));
        }
        return;
    }
    // A change signalled while the read was on its way is newer than its answer.
    if (!reply.arguments().isEmpty() && !signalled_) {
        adopt(schemeFromPortalValue(reply.arguments().constFirst()));
    }
}

void PortalAppearance::onSettingChanged(const QString& group, const QString& key,
                                        const QDBusVariant& value) {
    if (group == kGroup && key == kKey) {
        signalled_ = true;
        adopt(schemeFromPortalValue(QVariant::fromValue(value)));
    }
}

void PortalAppearance::adopt(std::optional<ColorScheme> portal) {
    const ColorScheme before = current();
    portal_ = portal;
    announceIfChanged(before);
}

bool PortalAppearance::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange &&
        watched == QCoreApplication::instance()) {
        const ColorScheme before = current();
        palette_ = schemeFromPalette();
        announceIfChanged(before);
    }
    return false;
}

void PortalAppearance::announceIfChanged(ColorScheme before) {
    const ColorScheme now = current();
    if (now != before && handler_) {
        auto handler = handler_;
        handler(now);
    }
}

std::unique_ptr<SystemAppearance> makeDesktopAppearance() {
    return std::make_unique<PortalAppearance>(QDBusConnection::sessionBus());
}

}  // namespace mavu::appearance
