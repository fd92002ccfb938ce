#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <vector>

namespace mavu::testing {

struct ProcessResult {
    int status = -1;  // the exit status; -1 when it did not end (and close its output) in time
    std::string out;
    std::string err;
};

// Starts program with args and the test's environment, its output going to the given
// descriptors (default /dev/null).
inline pid_t startProcess(const std::string& program, std::vector<std::string> args, int outFd = -1,
                          int errFd = -1) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(outFd >= 0 ? outFd : null, 1);
        dup2(errFd >= 0 ? errFd : null, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Runs program to its end. Standard output is read until every writer has closed it, so
// a descendant left holding it shows up as a time-out.
inline ProcessResult runProcess(const std::string& program, std::vector<std::string> args) {
    char errPath[] = "/tmp/mavu-test-err-XXXXXX";
    const int err = mkstemp(errPath);
    int out[2];
    if (err < 0 || pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = startProcess(program, std::move(args), out[1], err);
    close(out[1]);
    close(err);
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pollfd ready{out[0], POLLIN, 0};
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() < deadline) {
        char buffer[4096];
        if (poll(&ready, 1, 100) > 0) {
            const ssize_t got = read(out[0], buffer, sizeof buffer);
            closed = got <= 0;
            result.out.append(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
        }
    }
    close(out[0]);
    if (!closed) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = closed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream errText(errPath);
    result.err.assign(std::istreambuf_iterator<char>(errText), {});
    unlink(errPath);
    return result;
}

// Ends a process this test started (or inherited as subreaper) and reaps it.
inline void endProcess(pid_t pid, int signal = SIGTERM) {
    if (pid > 0 && kill(pid, signal) == 0) {
        waitpid(pid, nullptr, 0);
    }
}

}  // namespace mavu::testing
