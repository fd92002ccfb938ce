#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/Dispatch.h"

namespace mavu::testing {

using dispatch::Duration;
using dispatch::MonotonicTime;
using dispatch::WallTime;
using dispatch::Work;

// Virtual time for unit tests. Every queue runs on the test's thread, and only inside
// advance()/runUntilIdle(): due work and deadlines run in (deadline, enqueue) order,
// including whatever they enqueue themselves. The wall clock follows the monotonic one
// but can jump on its own, as a person or an NTP daemon would.
class VirtualDispatch final : public dispatch::Dispatch, public dispatch::Clock {
  public:
    VirtualDispatch();
    ~VirtualDispatch() override;

    const dispatch::Clock& clock() const override { return *this; }
    dispatch::MainQueue& mainQueue() override { return *main_; }
    std::shared_ptr<dispatch::Queue> makeSerialQueue(std::string label) override;

    // Moves time forward, running everything that falls due on the way.
    void advance(Duration by);
    void advance(double seconds) { advance(dispatch::fromSeconds(seconds)); }
    // Runs what is due now, without moving time.
    void runUntilIdle() { advance(Duration::zero()); }

    MonotonicTime monotonicNow() const override { return now_; }
    WallTime wallNow() const override;
    // Seconds of virtual time since this object was created.
    double elapsedSeconds() const { return dispatch::toSeconds(now_ - start_); }
    void jumpWallClock(Duration by) { wallOffset_ += by; }

    // Fires the main queue's readable callbacks registered for fd (in registration order).
    void signalReadable(int fd);
    std::size_t readableWatchCount() const;
    std::size_t pendingCount() const { return pending_.size(); }

  private:
    template <class>
    friend class VirtualQueue;
    friend class VirtualMainQueue;
    struct Item {
        std::shared_ptr<bool> queueAlive;
        const dispatch::Queue* queue;
        Work work;
    };
    struct Watch {
        int fd;
        Work onReadable;
        std::shared_ptr<bool> active;
    };

    void enqueue(MonotonicTime due, std::shared_ptr<bool> alive, const dispatch::Queue* queue,
                 Work work);
    void runOn(const dispatch::Queue* queue, const Work& work);

    // Far from both ends of the clocks' ranges, so arithmetic in tests never wraps.
    const MonotonicTime start_ = MonotonicTime{} + std::chrono::hours(1000);
    MonotonicTime now_ = start_;
    Duration wallOffset_{0};
    std::unique_ptr<dispatch::MainQueue> main_;
    std::map<std::pair<MonotonicTime, std::uint64_t>, Item> pending_;
    std::uint64_t sequence_ = 0;
    std::vector<Watch> watches_;
    const dispatch::Queue* current_ = nullptr;
};

}  // namespace mavu::testing
