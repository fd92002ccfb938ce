#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mavu::testing {

using Environment = std::map<std::string, std::string>;

struct ProcessResult {
    // The exit status, or -1 when it was killed or did not end in time.
    int exitCode = -1;
    std::string output;
};

// A program started by a test, with its standard output and error merged into one pipe
// and its standard input on another. Whatever is still running on destruction is killed
// by its pid.
class ChildProcess {
  public:
    // extraEnvironment adds to or replaces the test's own environment.
    ChildProcess(const std::vector<std::string>& argv, const Environment& extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }

    void writeLine(const std::string& line);
    // The next output line (without its newline), or nothing at end of output or when the
    // time is up.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Closes standard input, reads the rest of the output and waits for the end; kills the
    // process when it does not end in time.
    ProcessResult finish(std::chrono::milliseconds timeout);

    // Runs to the end and returns what it printed.
    static ProcessResult run(const std::vector<std::string>& argv,
                             const Environment& extraEnvironment = {},
                             std::chrono::milliseconds timeout = std::chrono::seconds(20));

  private:
    bool fillBuffer(std::chrono::steady_clock::time_point deadline);
    void closeInput();

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffer_;
    std::string consumed_;
    bool ended_ = false;
};

}  // namespace mavu::testing
