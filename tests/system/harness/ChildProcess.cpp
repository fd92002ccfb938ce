#include "tests/system/harness/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace mavu::testing {
namespace {

std::vector<std::string> mergedEnvironment(const Environment& extra) {
    Environment all;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos) {
            all[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : extra) {
        all[name] = value;
    }
    std::vector<std::string> lines;
    for (const auto& [name, value] : all) {
        lines.push_back(name + "=" + value);
    }
    return lines;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& extra) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);

    std::vector<std::string> args = argv;
    std::vector<std::string> env = mergedEnvironment(extra);
    auto argPointers = pointers(args);
    auto envPointers = pointers(env);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, args.front().c_str(), &actions, nullptr,
                                   argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (error != 0) {
        close(in[1]);
        close(out[0]);
        return;
    }
    pid_ = pid;
    input_ = in[1];
    output_ = out[0];
}

ChildProcess::~ChildProcess() {
    closeInput();
    if (output_ >= 0) {
        close(output_);
    }
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void ChildProcess::closeInput() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

void ChildProcess::writeLine(const std::string& line) {
    if (input_ < 0) {
        return;
    }
    const std::string text = line + "\n";
    // A child that already ended must not kill the test with SIGPIPE.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    [[maybe_unused]] const ssize_t written = write(input_, text.data(), text.size());
    sigaction(SIGPIPE, &previous, nullptr);
}

bool ChildProcess::fillBuffer(std::chrono::steady_clock::time_point deadline) {
    if (output_ < 0) {
        return false;
    }
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd{output_, POLLIN, 0};
        const int ready = poll(&fd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char chunk[4096];
        const ssize_t n = read(output_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(output_);
            output_ = -1;
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            consumed_ += buffer_.substr(0, newline + 1);
            buffer_.erase(0, newline + 1);
            return line;
        }
        if (!fillBuffer(deadline)) {
            return std::nullopt;
        }
    }
}

ProcessResult ChildProcess::finish(std::chrono::milliseconds timeout) {
    ProcessResult result;
    if (pid_ <= 0) {
        result.output = "could not start the program";
        return result;
    }
    closeInput();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fillBuffer(deadline)) {
    }
    // The output may end before the process does: wait for it, but not past the deadline.
    int status = 0;
    bool killed = false;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            killed = true;
            waitpid(pid_, &status, 0);
            break;
        }
        usleep(5000);
    }
    ended_ = true;
    result.output = consumed_ + buffer_;
    if (!killed && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

ProcessResult ChildProcess::run(const std::vector<std::string>& argv, const Environment& extra,
                                std::chrono::milliseconds timeout) {
    ChildProcess child(argv, extra);
    return child.finish(timeout);
}

}  // namespace mavu::testing
