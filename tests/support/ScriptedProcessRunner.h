#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/process/ProcessRunner.h"

namespace mavu::testing {

// Answers each argument list with its result in results (by default: exit status 0, no
// output) and records every run in runs, as its arguments joined by spaces.
struct ScriptedProcessRunner final : process::ProcessRunner {
    using Arguments = std::vector<std::string>;

    // launched, launchError, timedOut, exitStatus, output
    static process::RunResult exited(int status, std::string output = {}) {
        return {true, {}, false, status, std::move(output)};
    }

    process::RunResult run(const std::string&, const Arguments& arguments,
                           dispatch::Duration) override {
        std::string line;
        for (const auto& argument : arguments) {
            line += (line.empty() ? "" : " ") + argument;
        }
        runs.push_back(line);
        const auto found = results.find(arguments);
        return found != results.end() ? found->second : exited(0);
    }

    std::map<Arguments, process::RunResult> results;
    std::vector<std::string> runs;
};

}  // namespace mavu::testing
