#pragma once

#include <memory>
#include <string>
#include <thread>

#include "platform/dispatch/Queue.h"

namespace mavu::dispatch {

// A serial queue with a thread of its own. Work and due deadlines run on that thread,
// one at a time; the destructor discards what has not started and joins the thread.
class SerialQueue final : public Queue {
  public:
    SerialQueue(std::string label, const Clock& clock);
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(Work work) override;
    void asyncAt(MonotonicTime deadline, Work work) override;
    const Clock& clock() const override;
    const std::string& label() const override;
    bool isCurrent() const override;

  private:
    struct Core;
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

}  // namespace mavu::dispatch
