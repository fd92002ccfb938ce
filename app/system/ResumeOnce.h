#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Time.h"

namespace mavu::app {

// The one-shot completion guard of a bounded call to the daemon. The reply, the error
// handler and the time-out race to resume it; the first one decides the result and every
// later one is ignored. The continuation always runs on the main queue, never inside
// resume() itself.
//
// The time-out holds the guard weakly; the reply and the error handler hold it strongly.
// Should every strong holder vanish without resuming (a connection dropped with the call
// still pending), the guard resumes with the fallback as it goes: a caller is never left
// waiting.
template <class T>
class ResumeOnce : public std::enable_shared_from_this<ResumeOnce<T>> {
  public:
    using Continuation = std::function<void(T)>;

    // Schedules the time-out on mainQueue at now + timeout. mainQueue outlives the guard.
    static std::shared_ptr<ResumeOnce> create(dispatch::MainQueue& mainQueue,
                                              dispatch::Duration timeout, T fallback,
                                              Continuation continuation) {
        std::shared_ptr<ResumeOnce> once(
            new ResumeOnce(mainQueue, std::move(fallback), std::move(continuation)));
        std::weak_ptr<ResumeOnce> weak = once;
        mainQueue.asyncAt(dispatch::addSaturating(mainQueue.clock().monotonicNow(), timeout),
                          [weak] {
                              if (auto strong = weak.lock()) {
                                  strong->resumeWithFallback();
                              }
                          });
        return once;
    }

    ~ResumeOnce() { resumeWithFallback(); }

    ResumeOnce(const ResumeOnce&) = delete;
    ResumeOnce& operator=(const ResumeOnce&) = delete;

    // Thread-safe. Returns whether this call decided the result.
    bool resume(T value) {
        Continuation continuation;
        {
            std::lock_guard lock(lock_);
            if (didResume_) {
                return false;
            }
            didResume_ = true;
            continuation = std::move(continuation_);
        }
        mainQueue_.async([continuation = std::move(continuation), value = std::move(value)] {
            if (continuation) {
                continuation(value);
            }
        });
        return true;
    }

    bool resumeWithFallback() { return resume(fallback_); }

    bool didResume() const {
        std::lock_guard lock(lock_);
        return didResume_;
    }

  private:
    ResumeOnce(dispatch::MainQueue& mainQueue, T fallback, Continuation continuation)
        : mainQueue_(mainQueue),
          fallback_(std::move(fallback)),
          continuation_(std::move(continuation)) {}

    dispatch::MainQueue& mainQueue_;
    const T fallback_;
    mutable std::mutex lock_;
    bool didResume_ = false;
    Continuation continuation_;
};

}  // namespace mavu::app
