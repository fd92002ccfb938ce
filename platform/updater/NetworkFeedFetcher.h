#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Time.h"
#include "platform/updater/FeedFetcher.h"

class QNetworkAccessManager;

namespace mavu::updater {

// Loads an https:// feed with Qt's network stack. Answers arrive on the Qt event loop,
// which is the app's main queue. A request ends after timeout however slowly the server
// trickles, follows at most a few redirects and never from https to http, and is cut
// off past kMaxFeedBytes.
class NetworkFeedFetcher final : public FeedFetcher {
  public:
    static constexpr int kMaxRedirects = 5;

    explicit NetworkFeedFetcher(dispatch::Queue& mainQueue,
                                dispatch::Duration timeout = std::chrono::seconds(30));
    // Pending requests are dropped without completing.
    ~NetworkFeedFetcher() override;
    NetworkFeedFetcher(const NetworkFeedFetcher&) = delete;
    NetworkFeedFetcher& operator=(const NetworkFeedFetcher&) = delete;

    void fetch(const std::string& url, Completion completion) override;

  private:
    struct Request;
    void finish(const std::shared_ptr<Request>& request);

    dispatch::Queue& queue_;
    const dispatch::Duration timeout_;
    std::unique_ptr<QNetworkAccessManager> manager_;
    std::vector<std::shared_ptr<Request>> requests_;
};

}  // namespace mavu::updater
