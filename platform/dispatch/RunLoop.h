#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Queue.h"

namespace mavu::dispatch {

// The daemon's main queue: a poll(2) loop on the thread that calls run(). Other threads
// enqueue work and wake it through an eventfd.
class RunLoop final : public MainQueue {
  public:
    explicit RunLoop(const Clock& clock, std::string label = "main");
    ~RunLoop() override;
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    void async(Work work) override;
    void asyncAt(MonotonicTime deadline, Work work) override;
    std::unique_ptr<ReadableWatch> watchReadable(int fd, Work onReadable) override;
    const Clock& clock() const override { return clock_; }
    const std::string& label() const override { return label_; }
    bool isCurrent() const override;

    // Serves the queue on the calling thread until stop().
    void run();
    // Thread-safe; run() returns after the work item in progress.
    void stop();

  private:
    struct Watch;
    class WatchHandle;

    void wake();
    void drainWake();
    bool runDueWork();
    int pollTimeoutMs();

    const Clock& clock_;
    const std::string label_;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::deque<Work> ready_;
    std::map<std::pair<MonotonicTime, std::uint64_t>, Work> timed_;
    std::uint64_t sequence_ = 0;
    std::vector<std::shared_ptr<Watch>> watches_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::thread::id> runner_{};
};

}  // namespace mavu::dispatch
