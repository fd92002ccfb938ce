#include "platform/updater/NetworkFeedFetcher.h"

#include <algorithm>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>
#include <QUrl>

#include "platform/dispatch/Timer.h"

namespace mavu::updater {

struct NetworkFeedFetcher::Request {
    QPointer<QNetworkReply> reply;
    Completion completion;
    std::shared_ptr<dispatch::Timer> deadline;
    // Set when we cut the request off ourselves; it explains the abort.
    std::string cutOff;
};

namespace {

std::string withoutFinalStop(QString text) {
    while (text.endsWith(u'.')) {
        text.chop(1);
    }
    return text.toStdString();
}

}  // namespace

NetworkFeedFetcher::NetworkFeedFetcher(dispatch::Queue& mainQueue, dispatch::Duration timeout)
    : queue_(mainQueue), timeout_(timeout) {}

NetworkFeedFetcher::~NetworkFeedFetcher() {
    // Whatever Qt emits while tearing the replies down finds no request any more.
    requests_.clear();
    manager_.reset();
}

void NetworkFeedFetcher::fetch(const std::string& url, Completion completion) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || address.scheme().toLower() != u"https" || address.host().isEmpty()) {
        completion({{}, "The update feed address is not a valid https address."});
        return;
    }
    if (!manager_) {
        manager_ = std::make_unique<QNetworkAccessManager>();
    }
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("MAVU updater"));

    auto pending = std::make_shared<Request>();
    pending->completion = std::move(completion);
    pending->reply = manager_->get(request);
    requests_.push_back(pending);
    std::weak_ptr<Request> weak = pending;

    QObject::connect(pending->reply, &QNetworkReply::downloadProgress, pending->reply,
                     [weak](qint64 received, qint64) {
                         auto request = weak.lock();
                         if (request && request->cutOff.empty() &&
                             static_cast<std::size_t>(received) > kMaxFeedBytes) {
                             request->cutOff = "The update feed is too large.";
                             request->reply->abort();
                         }
                     });
    QObject::connect(pending->reply, &QNetworkReply::finished, pending->reply, [this, weak] {
        if (auto request = weak.lock()) {
            finish(request);
        }
    });
    pending->deadline = dispatch::startOneShot(
        queue_, dispatch::addSaturating(queue_.clock().monotonicNow(), timeout_), [weak] {
            auto request = weak.lock();
            if (request && request->cutOff.empty() && request->reply) {
                request->cutOff = "The update server did not answer in time.";
                request->reply->abort();
            }
        });
}

void NetworkFeedFetcher::finish(const std::shared_ptr<Request>& request) {
    // Qt may report the end twice (an abort inside a progress report); the first counts.
    const auto found = std::find(requests_.begin(), requests_.end(), request);
    if (found == requests_.end()) {
        return;
    }
    requests_.erase(found);
    request->deadline->cancel();

    QNetworkReply* reply = request->reply;
    FeedResponse response;
    if (!request->cutOff.empty()) {
        response.error = request->cutOff;
    } else if (!reply) {
        response.error = "The update feed could not be loaded.";
    } else if (reply->error() != QNetworkReply::NoError) {
        response.error =
            "The update feed could not be loaded: " + withoutFinalStop(reply->errorString()) + ".";
    } else {
        const QByteArray bytes = reply->readAll();
        if (static_cast<std::size_t>(bytes.size()) > kMaxFeedBytes) {
            response.error = "The update feed is too large.";
        } else {
            response.body = bytes.toStdString();
        }
    }
    if (reply) {
        reply->deleteLater();
    }
    request->completion(std::move(response));
}

}  // namespace mavu::updater
