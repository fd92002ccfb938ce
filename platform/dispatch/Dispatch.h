#pragma once

#include <memory>
#include <string>

#include "platform/dispatch/Queue.h"

namespace mavu::dispatch {

// The execution environment a component is given: one clock, the main queue, and a
// way to make serial queues. Real in the programs, virtual time in the unit tests.
class Dispatch {
  public:
    virtual ~Dispatch() = default;
    virtual const Clock& clock() const = 0;
    virtual MainQueue& mainQueue() = 0;
    virtual std::shared_ptr<Queue> makeSerialQueue(std::string label) = 0;
};

}  // namespace mavu::dispatch
