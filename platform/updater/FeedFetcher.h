#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace mavu::updater {

// No appcast comes near this; a larger answer is refused rather than held in memory.
inline constexpr std::size_t kMaxFeedBytes = 4 * 1024 * 1024;

// The feed's bytes, or a sentence for the user saying why there are none.
struct FeedResponse {
    std::string body;
    std::string error;

    bool ok() const { return error.empty(); }
};

// Loads the feed at an address. The completion runs exactly once, on the main queue: at
// once from fetch() or later; never after the fetcher is destroyed.
class FeedFetcher {
  public:
    using Completion = std::function<void(FeedResponse)>;
    virtual ~FeedFetcher() = default;
    virtual void fetch(const std::string& url, Completion completion) = 0;
};

}  // namespace mavu::updater
