#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "platform/dispatch/Dispatch.h"

namespace mavu::dispatch {

// The app's main queue: the Qt event loop of the thread that created it. Work posted from
// any thread runs there in order; deadlines are Qt precise timers on the monotonic clock.
class QtMainQueue final : public MainQueue {
  public:
    explicit QtMainQueue(const Clock& clock);
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void async(Work work) override;
    void asyncAt(MonotonicTime deadline, Work work) override;
    std::unique_ptr<ReadableWatch> watchReadable(int fd, Work onReadable) override;
    const Clock& clock() const override { return clock_; }
    const std::string& label() const override { return label_; }
    bool isCurrent() const override;

  private:
    const Clock& clock_;
    const std::string label_ = "main";
    // Receives the posted work; deleted with the queue, which drops what it has not run.
    std::unique_ptr<QObject> context_;
};

// The app's environment: system clocks, the Qt main queue, threaded serial queues.
class QtDispatch final : public Dispatch {
  public:
    QtDispatch() : main_(clock_) {}
    const Clock& clock() const override { return clock_; }
    MainQueue& mainQueue() override { return main_; }
    std::shared_ptr<Queue> makeSerialQueue(std::string label) override;

  private:
    SystemClock clock_;
    QtMainQueue main_;
};

}  // namespace mavu::dispatch
