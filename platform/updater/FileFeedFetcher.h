#pragma once

#include "platform/updater/FeedFetcher.h"

namespace mavu::updater {

// Reads a file:// feed, completing during fetch().
class FileFeedFetcher final : public FeedFetcher {
  public:
    void fetch(const std::string& url, Completion completion) override;
};

}  // namespace mavu::updater
