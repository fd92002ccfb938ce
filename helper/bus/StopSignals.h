#pragma once

namespace mavu::helper {

// Turns SIGTERM and SIGINT into a readable file descriptor, so that the main queue can
// release the hold before the daemon exits. A handler writing to a pipe rather than a
// blocked mask plus signalfd: the mask would be inherited by the power tool and its
// detached holder, which must stay killable. One instance per process.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // -1 when the pipe could not be made (then stop signals keep their default action).
    int fd() const { return readFd_; }
    // Empties the pipe; true when a stop was requested since the last call.
    bool takeRequest();

  private:
    int readFd_ = -1;
};

}  // namespace mavu::helper
