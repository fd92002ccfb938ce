#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusVariant>
#include <memory>
#include <optional>

#include "platform/appearance/SystemAppearance.h"

class QDBusPendingCallWatcher;

namespace mavu::appearance {

// The portal's Settings interface on the session bus: the "color-scheme" key of the
// "org.freedesktop.appearance" namespace (0 no preference, 1 dark, 2 light), read once and
// then followed through SettingChanged. Where the portal is missing, silent or has no
// preference, the Qt palette's lightness stands in, and follows the palette's changes.
class PortalAppearance final : public QObject, public SystemAppearance {
    Q_OBJECT

  public:
    explicit PortalAppearance(QDBusConnection bus);
    ~PortalAppearance() override;

    ColorScheme current() const override;
    void setChangeHandler(ChangeHandler handler) override;

  private slots:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void read(const QString& method);
    void onReadFinished(QDBusPendingCallWatcher* call, const QString& method);
    void adopt(std::optional<ColorScheme> portal);
    void announceIfChanged(ColorScheme before);

    QDBusConnection bus_;
    // What the portal says; none until it answers, or when it states no preference.
    std::optional<ColorScheme> portal_;
    bool signalled_ = false;
    ColorScheme palette_;
    ChangeHandler handler_;
};

// The portal's value for color-scheme, however deeply the portal wrapped it in variants:
// dark for 1, light for 2, none for 0 and anything unreadable.
std::optional<ColorScheme> schemeFromPortalValue(const QVariant& value);

// Dark when the palette's window colour is closer to black than to white.
ColorScheme schemeFromPalette();

}  // namespace mavu::appearance
