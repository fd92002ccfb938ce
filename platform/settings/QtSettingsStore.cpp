#include "platform/settings/QtSettingsStore.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <system_error>

#include "platform/log/Log.h"

namespace mavu::settings {
namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

QSettings open(const std::filesystem::path& file) {
    return QSettings(QString::fromStdString(file.string()), QSettings::IniFormat);
}

// Writes through at once: the app may end with std::_Exit right after a write.
void syncAndReport(QSettings& settings, const std::string& what) {
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        log::line("MAVU settings: could not " + what + " in " + settings.fileName().toStdString());
    }
}

}  // namespace

QtSettingsStore::QtSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path QtSettingsStore::userFile(const std::string& organization,
                                                const std::string& application) {
    // The native format on Linux is this same INI file; asking QSettings keeps the path
    // identical to the one the updater's settings use.
    const QSettings native(qt(organization), qt(application));
    return native.fileName().toStdString();
}

bool QtSettingsStore::contains(const std::string& key) const {
    return open(file_).contains(qt(key));
}

std::optional<std::string> QtSettingsStore::string(const std::string& key) const {
    const QVariant value = open(file_).value(qt(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

std::optional<std::int64_t> QtSettingsStore::integer(const std::string& key) const {
    const QVariant value = open(file_).value(qt(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

void QtSettingsStore::setString(const std::string& key, const std::string& value) {
    QSettings settings = open(file_);
    settings.setValue(qt(key), qt(value));
    syncAndReport(settings, "store \"" + key + "\"");
}

void QtSettingsStore::setInteger(const std::string& key, std::int64_t value) {
    QSettings settings = open(file_);
    settings.setValue(qt(key), static_cast<qlonglong>(value));
    syncAndReport(settings, "store \"" + key + "\"");
}

void QtSettingsStore::removeDomain() {
    {
        QSettings settings = open(file_);
        settings.clear();
        syncAndReport(settings, "clear the settings");
    }
    std::error_code error;
    std::filesystem::remove(file_, error);
    if (error) {
        log::line("MAVU settings: could not remove " + file_.string() + ": " + error.message());
    }
}

}  // namespace mavu::settings
