#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace mavu::testing {

// Polls condition until it holds or limit passes: the bounded wait for real processes.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// Starts program (searched in PATH when it has no slash) with args and the test's
// environment; standard output, error and input are the given descriptors, or /dev/null.
inline pid_t startProcess(const std::string& program, std::vector<std::string> args, int outFd = -1,
                          int errFd = -1, int inFd = -1) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(inFd >= 0 ? inFd : null, 0);
        dup2(outFd >= 0 ? outFd : null, 1);
        dup2(errFd >= 0 ? errFd : null, 2);
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

struct ProcessResult {
    int status = -1;  // the exit status; -1 when it did not end (and close its output) in time
    std::string out;
    std::string err;
};

// Runs program to its end, for at most 20 s. Its output is read until every writer has
// closed it, so a descendant left holding it shows up as a time-out.
inline ProcessResult runProcess(const std::string& program, std::vector<std::string> args) {
    int out[2];
    FILE* err = std::tmpfile();
    if (err == nullptr || pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = startProcess(program, std::move(args), out[1], fileno(err));
    close(out[1]);
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pollfd ready{out[0], POLLIN, 0};
    char buffer[4096];
    ssize_t got = 1;
    while (got > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(&ready, 1, 100) > 0 && (got = read(out[0], buffer, sizeof buffer)) > 0) {
            result.out.append(buffer, static_cast<std::size_t>(got));
        }
    }
    close(out[0]);
    if (got > 0) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = got <= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::rewind(err);
    for (int c; (c = std::fgetc(err)) != EOF;) {
        result.err += static_cast<char>(c);
    }
    std::fclose(err);
    return result;
}

// Ends a process this test started (or inherited as subreaper) and reaps it.
inline void endProcess(pid_t pid, int signal = SIGTERM) {
    if (pid > 0 && kill(pid, signal) == 0) {
        waitpid(pid, nullptr, 0);
    }
}

}  // namespace mavu::testing
