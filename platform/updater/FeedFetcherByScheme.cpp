#include "platform/updater/FeedFetcherByScheme.h"

#include <QString>
#include <QUrl>

namespace mavu::updater {

FeedFetcherByScheme::FeedFetcherByScheme(std::unique_ptr<FeedFetcher> file,
                                         std::unique_ptr<FeedFetcher> https)
    : file_(std::move(file)), https_(std::move(https)) {}

void FeedFetcherByScheme::fetch(const std::string& url, Completion completion) {
    if (QString::fromStdString(url).trimmed().isEmpty()) {
        completion({{}, "No update feed is configured."});
        return;
    }
    const QString scheme = QUrl(QString::fromStdString(url)).scheme().toLower();
    if (scheme == u"file") {
        file_->fetch(url, std::move(completion));
    } else if (scheme == u"https") {
        https_->fetch(url, std::move(completion));
    } else {
        completion({{}, "The update feed address must start with https:// or file://."});
    }
}

}  // namespace mavu::updater
