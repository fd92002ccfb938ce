#include "platform/updater/QtUpdaterSettings.h"

#include <QSettings>
#include <QString>

#include "platform/log/Log.h"

namespace mavu::updater {
namespace {

QString automaticChecksKey() {
    return QStringLiteral("%1/%2").arg(QtUpdaterSettings::kGroup,
                                       QtUpdaterSettings::kAutomaticChecksKey);
}

}  // namespace

QtUpdaterSettings::QtUpdaterSettings(std::string organization, std::string application)
    : organization_(std::move(organization)), application_(std::move(application)) {}

std::optional<bool> QtUpdaterSettings::automaticallyChecksForUpdates() const {
    // A fresh QSettings each time: another instance (or process) may have written since.
    const QSettings settings(QString::fromStdString(organization_),
                             QString::fromStdString(application_));
    const QVariant value = settings.value(automaticChecksKey());
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toBool();
}

void QtUpdaterSettings::setAutomaticallyChecksForUpdates(bool enabled) {
    QSettings settings(QString::fromStdString(organization_), QString::fromStdString(application_));
    settings.setValue(automaticChecksKey(), enabled);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        log::line("MAVU updater: could not store the automatic-check setting in " +
                  settings.fileName().toStdString());
    }
}

}  // namespace mavu::updater
