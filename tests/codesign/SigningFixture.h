#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/codesign/Signer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::codesign::testing {

using mavu::testing::readFile;
using mavu::testing::TempDir;

inline std::string caCert(const std::string& name) {
    return std::string(MAVU_SIGNING_DIR) + "/ca-" + name + "/cert.pem";
}
inline SigningCredentials credentials(const std::string& identity, std::string chain = {}) {
    const std::string dir = std::string(MAVU_SIGNING_DIR) + "/identity-" + identity;
    return {dir + "/cert.pem", dir + "/key.pem", std::move(chain)};
}

// The sample client started from path. It is ready once it has written its first byte;
// closing its input ends it.
class RunningProgram {
  public:
    explicit RunningProgram(const std::string& path) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) == 0 && pipe2(out, O_CLOEXEC) == 0) {
            pid_ = mavu::testing::startProcess(path, {}, out[1], -1, in[0]);
            close(in[0]);
            close(out[1]);
            input_ = in[1];
            output_ = out[0];
        }
    }
    ~RunningProgram() {
        end();
        close(output_);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return pid_; }
    // Whether it started and reported ready within a few seconds.
    bool ready() {
        pollfd fd{output_, POLLIN, 0};
        char byte = 0;
        return pid_ > 0 && poll(&fd, 1, 5000) == 1 && read(output_, &byte, 1) == 1;
    }
    // Ends it and reaps it; its pid may then be reused.
    void end() {
        if (input_ >= 0) {
            close(std::exchange(input_, -1));
            waitpid(pid_, nullptr, 0);
        }
    }

  private:
    pid_t pid_ = 0;
    int input_ = -1;
    int output_ = -1;
};

}  // namespace mavu::codesign::testing
