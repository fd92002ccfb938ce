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

    static process::RunResult exited(int status, std::string output = {}) {
        process::RunResult result;
        result.launched = true;
        result.exitStatus = status;
        result.output = std::move(output);
        return result;
    }
    static process::RunResult notLaunched(std::string error) {
        process::RunResult result;
        result.launchError = std::move(error);
        return result;
    }

    void respond(const Arguments& arguments, process::RunResult result) {
        results_[arguments] = std::move(result);
    }

    process::RunResult run(const std::string& executable, const Arguments& arguments,
                           dispatch::Duration) override {
        executables_.push_back(executable);
        runs_.push_back(arguments);
        const auto found = results_.find(arguments);
        return found != results_.end() ? found->second : exited(0);
    }

    // Every run so far, each as its arguments joined by spaces.
    std::vector<std::string> runs() const {
        std::vector<std::string> lines;
        for (const auto& arguments : runs_) {
            std::string line;
            for (const auto& argument : arguments) {
                line += (line.empty() ? "" : " ") + argument;
            }
            lines.push_back(line);
        }
        return lines;
    }
    const std::vector<std::string>& executables() const { return executables_; }
    void clearRuns() {
        runs_.clear();
        executables_.clear();
    }

  private:
    std::map<Arguments, process::RunResult> results_;
    std::vector<Arguments> runs_;
    std::vector<std::string> executables_;
};

}  // namespace mavu::testing
