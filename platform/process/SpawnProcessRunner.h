#pragma once

#include <cstddef>

#include "platform/process/ProcessRunner.h"

namespace mavu::process {

// Runs programs with posix_spawn. Standard input reads /dev/null; standard output and
// error go to pipes that are read while the child runs, so a talkative child never blocks
// on a full pipe. Standard error is read and dropped.
class SpawnProcessRunner final : public ProcessRunner {
  public:
    // Output beyond this many bytes is still read but no longer kept.
    static constexpr std::size_t kMaxKeptOutput = 4 * 1024 * 1024;

    RunResult run(const std::string& executable, const std::vector<std::string>& arguments,
                  dispatch::Duration timeLimit) override;
};

}  // namespace mavu::process
