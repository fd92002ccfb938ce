#pragma once

#include <filesystem>
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

// The sample client started from path, ended by the test.
class RunningProgram {
  public:
    explicit RunningProgram(const std::string& path)
        : path_(path), pid_(mavu::testing::startProcess(path, {})) {}
    ~RunningProgram() { end(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return pid_; }
    // Whether it started running path within a few seconds.
    bool ready() const {
        const auto exe = "/proc/" + std::to_string(pid_) + "/exe";
        return mavu::testing::eventually([&] {
            std::error_code ignored;
            return std::filesystem::equivalent(std::filesystem::read_symlink(exe, ignored), path_,
                                               ignored);
        });
    }
    // Ends it and reaps it; its pid may then be reused.
    void end() { mavu::testing::endProcess(std::exchange(pid_, 0)); }

  private:
    std::string path_;
    pid_t pid_;
};

}  // namespace mavu::codesign::testing
