#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/dispatch/Queue.h"

namespace mavu::dispatch {

// A timer source delivering on one queue, with zero leeway. Set it up with schedule()
// and setEventHandler(), then resume(). A repeating timer keeps its original cadence
// (deadline, deadline + interval, ...); if it falls behind it fires once and goes on
// with the next deadline still ahead. cancel() is final: a cancelled timer never runs
// its handler again, even if its deadline had already passed.
//
// The queue must outlive the timer. Pending deadlines hold the timer weakly: a timer
// nobody owns any more simply stops.
class Timer : public std::enable_shared_from_this<Timer> {
  public:
    static std::shared_ptr<Timer> create(Queue& queue);

    void schedule(MonotonicTime firstDeadline, std::optional<Duration> repeatInterval = {});
    void setEventHandler(Work handler);
    void resume();
    void cancel();
    bool isCancelled() const;

  private:
    explicit Timer(Queue& queue) : queue_(queue) {}
    void armLocked();
    void fire(std::uint64_t generation);

    Queue& queue_;
    mutable std::mutex mutex_;
    Work handler_;
    std::optional<MonotonicTime> deadline_;
    std::optional<Duration> repeat_;
    bool resumed_ = false;
    bool cancelled_ = false;
    std::uint64_t generation_ = 0;
};

// Convenience for the common case: a resumed timer that first fires one interval from
// now and then every interval.
std::shared_ptr<Timer> startRepeating(Queue& queue, Duration interval, Work handler);
// A resumed one-shot timer.
std::shared_ptr<Timer> startOneShot(Queue& queue, MonotonicTime deadline, Work handler);

}  // namespace mavu::dispatch
