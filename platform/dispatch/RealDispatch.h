#pragma once

#include "platform/dispatch/Dispatch.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/SerialQueue.h"

namespace mavu::dispatch {

// The daemon's environment: system clocks, a poll run loop as the main queue (served by
// whoever calls mainLoop().run()), and serial queues with threads of their own.
class RealDispatch final : public Dispatch {
  public:
    RealDispatch() : mainLoop_(clock_) {}

    const Clock& clock() const override { return clock_; }
    MainQueue& mainQueue() override { return mainLoop_; }
    RunLoop& mainLoop() { return mainLoop_; }
    std::shared_ptr<Queue> makeSerialQueue(std::string label) override {
        return std::make_shared<SerialQueue>(std::move(label), clock_);
    }

  private:
    SystemClock clock_;
    RunLoop mainLoop_;
};

}  // namespace mavu::dispatch
