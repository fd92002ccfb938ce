#include "platform/updater/FileFeedFetcher.h"

#include <QFile>
#include <QString>
#include <QUrl>

namespace mavu::updater {

void FileFeedFetcher::fetch(const std::string& url, Completion completion) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || !address.isLocalFile()) {
        completion({{}, "The update feed address is not a valid file address."});
        return;
    }
    QFile file(address.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        completion(
            {{}, "The update feed could not be read: " + file.errorString().toStdString() + "."});
        return;
    }
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxFeedBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        completion(
            {{}, "The update feed could not be read: " + file.errorString().toStdString() + "."});
        return;
    }
    if (static_cast<std::size_t>(bytes.size()) > kMaxFeedBytes) {
        completion({{}, "The update feed is too large."});
        return;
    }
    completion({bytes.toStdString(), {}});
}

}  // namespace mavu::updater
