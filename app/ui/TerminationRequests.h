#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/Queue.h"

namespace mavu::ui {

// Turns SIGTERM, SIGINT and SIGHUP — a quit that does not come from MAVU's own entries —
// into a call on the main queue. The handler only writes to a pipe; one instance per
// process. Until it is destroyed the signals no longer end the process by themselves.
class TerminationRequests {
  public:
    TerminationRequests(dispatch::MainQueue& mainQueue, std::function<void()> onRequest);
    ~TerminationRequests();
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

    // -1 when the pipe could not be made (the signals then keep their default action).
    int fd() const { return readFd_; }

  private:
    void drain();

    int readFd_ = -1;
    std::function<void()> onRequest_;
    std::unique_ptr<dispatch::ReadableWatch> watch_;
};

}  // namespace mavu::ui
