#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/Clock.h"

namespace mavu::dispatch {

using Work = std::function<void()>;

// A serial execution context: work runs one item at a time, in the order it was
// enqueued, never two items at once. Work not yet started when the queue is destroyed
// is discarded.
class Queue {
  public:
    virtual ~Queue() = default;

    virtual void async(Work work) = 0;
    // Runs work on this queue once the queue's monotonic clock has reached deadline.
    // Items falling due together run in deadline order, then in enqueue order.
    virtual void asyncAt(MonotonicTime deadline, Work work) = 0;

    virtual const Clock& clock() const = 0;
    virtual const std::string& label() const = 0;
    // True while called from work running on this queue.
    virtual bool isCurrent() const = 0;
};

// Destroying the handle stops the watch; the callback is not called afterwards.
class ReadableWatch {
  public:
    virtual ~ReadableWatch() = default;
};

// The queue of the program's main thread. Besides work and timers it reports file
// descriptors becoming readable (level-triggered: the callback must drain the fd).
class MainQueue : public Queue {
  public:
    virtual std::unique_ptr<ReadableWatch> watchReadable(int fd, Work onReadable) = 0;
};

}  // namespace mavu::dispatch
