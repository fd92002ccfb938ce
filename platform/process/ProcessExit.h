#pragma once

namespace mavu::process {

// Ends the process at once with a status, running no destructors and no exit handlers of
// the app; buffered standard output and error are flushed first. The interface's own
// shutdown is not used: whatever was to be done first has been done by the caller.
class ProcessExit {
  public:
    virtual ~ProcessExit() = default;
    virtual void exit(int status) = 0;
};

// The real one: std::_Exit after flushing the C streams.
class ImmediateProcessExit final : public ProcessExit {
  public:
    [[noreturn]] void exit(int status) override;
};

}  // namespace mavu::process
