#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/codesign/Signer.h"

namespace mavu::codesign::testing {

inline std::string identityDir(const std::string& name) {
    return std::string(MAVU_SIGNING_DIR) + "/identity-" + name;
}
inline std::string caCert(const std::string& name) {
    return std::string(MAVU_SIGNING_DIR) + "/ca-" + name + "/cert.pem";
}
inline SigningCredentials credentials(const std::string& identity, std::string chain = {}) {
    return {identityDir(identity) + "/cert.pem", identityDir(identity) + "/key.pem",
            std::move(chain)};
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeProgram(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// A scratch directory for the files of one test.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "codesign-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The sample client started from path. It is ready once it has written its first byte;
// closing its input ends it.
class RunningProgram {
  public:
    explicit RunningProgram(const std::string& path) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~RunningProgram() { end(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return pid_; }

    // Whether it started and reported ready within a few seconds.
    bool ready() {
        pollfd fd{output_, POLLIN, 0};
        char byte = 0;
        return pid_ > 0 && ::poll(&fd, 1, 5000) == 1 && ::read(output_, &byte, 1) == 1;
    }

    // Ends it and reaps it; its pid may then be reused.
    void end() {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
            pid_ = -pid_;
        }
        if (output_ >= 0) {
            ::close(output_);
            output_ = -1;
        }
    }

  private:
    pid_t pid_ = 0;
    int input_ = -1;
    int output_ = -1;
};

}  // namespace mavu::codesign::testing
