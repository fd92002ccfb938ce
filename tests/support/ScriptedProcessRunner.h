#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/process/ProcessRunner.h"

namespace mavu::testing {

// Answers each argument list with a scripted result (by default: exit status 0, no
// output) and records every run.
class ScriptedProcessRunner final : public process::ProcessRunner {
  public:
    using Arguments = std::vector<std::string>;

    // launched, launchError, timedOut, exitStatus, output
    static process::RunResult exited(int status, std::string output = {}) {
        return {true, {}, false, status, std::move(output)};
    }

    void respond(const Arguments& arguments, process::RunResult result) {
        results_[arguments] = std::move(result);
    }

    process::RunResult run(const std::string&, const Arguments& arguments,
                           dispatch::Duration) override {
        std::string line;
        for (const auto& argument : arguments) {
            line += (line.empty() ? "" : " ") + argument;
        }
        runs_.push_back(line);
        const auto found = results_.find(arguments);
        return found != results_.end() ? found->second : exited(0);
    }

    // Every run so far, each as its arguments joined by spaces.
    const std::vector<std::string>& runs() const { return runs_; }
    void clearRuns() { runs_.clear(); }

  private:
    std::map<Arguments, process::RunResult> results_;
    std::vector<std::string> runs_;
};

}  // namespace mavu::testing
