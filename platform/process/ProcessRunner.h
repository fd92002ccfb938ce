#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Time.h"

namespace mavu::process {

// What became of one run of a program.
struct RunResult {
    bool launched = false;
    // Why the program could not be started; meant for the log.
    std::string launchError;
    // Still running when the time limit passed, so it was killed.
    bool timedOut = false;
    // The status it exited with; none when it ended by a signal or was killed.
    std::optional<int> exitStatus;
    // Everything it wrote to standard output, as raw bytes.
    std::string output;

    bool succeeded() const { return launched && !timedOut && exitStatus == 0; }
};

// Runs a program to completion and collects its output.
class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;

    // Starts executable (a path: no search, no shell) with arguments and the caller's
    // environment, and blocks until it has ended or timeLimit has passed. A program still
    // running at the limit is killed together with everything it started in its process
    // group.
    virtual RunResult run(const std::string& executable, const std::vector<std::string>& arguments,
                          dispatch::Duration timeLimit) = 0;
};

}  // namespace mavu::process
