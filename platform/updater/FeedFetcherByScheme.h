#pragma once

#include <memory>

#include "platform/updater/FeedFetcher.h"

namespace mavu::updater {

// Hands file:// addresses to one fetcher and https:// addresses to the other; anything
// else (plain http included) is refused with a sentence.
class FeedFetcherByScheme final : public FeedFetcher {
  public:
    FeedFetcherByScheme(std::unique_ptr<FeedFetcher> file, std::unique_ptr<FeedFetcher> https);
    void fetch(const std::string& url, Completion completion) override;

  private:
    std::unique_ptr<FeedFetcher> file_;
    std::unique_ptr<FeedFetcher> https_;
};

}  // namespace mavu::updater
