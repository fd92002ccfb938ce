#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace mavu::testing {

// Variables added to (or replacing) the test's own environment for a program it starts.
using Environment = std::map<std::string, std::string>;

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
// environment plus extra; standard output, error and input are the given descriptors, or
// /dev/null. It is killed when the thread that started it ends (a crashed test leaves no
// bus or server behind), so start anything that outlives a short-lived thread from the
// test's main thread.
inline pid_t startProcess(const std::string& program, std::vector<std::string> args, int outFd = -1,
                          int errFd = -1, int inFd = -1, const Environment& extra = {}) {
    args.insert(args.begin(), program);
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!extra.contains(text.substr(0, text.find('=')))) {
            variables.push_back(text);
        }
    }
    for (const auto& [name, value] : extra) {
        variables.push_back(name + "=" + value);
    }
    // Built before the fork: the child only calls what is safe between fork and exec.
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (auto& text : texts) {
            result.push_back(text.data());
        }
        result.push_back(nullptr);
        return result;
    };
    const auto argv = pointers(args), envp = pointers(variables);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
            _exit(127);
        }
        const int null = open("/dev/null", O_RDWR);
        dup2(inFd >= 0 ? inFd : null, 0);
        dup2(outFd >= 0 ? outFd : null, 1);
        dup2(errFd >= 0 ? errFd : null, 2);
        execvpe(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Reaps pid once it has ended, polling until deadline; false when it is still running.
inline bool reapBy(pid_t pid, int* status, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (waitpid(pid, status, WNOHANG) != 0) {
            return true;  // reaped, or not a child of ours to wait for
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

struct ProcessResult {
    int status = -1;  // the exit status; -1 when it did not end (and close its output) in time
    std::string out;
    std::string err;
};

// Runs program to its end, for at most 20 s. Its output is read until every writer has
// closed it, so a descendant left holding it shows up as a time-out.
inline ProcessResult runProcess(const std::string& program, std::vector<std::string> args,
                                const Environment& extra = {}) {
    int out[2];
    FILE* err = std::tmpfile();
    if (err == nullptr || pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = startProcess(program, std::move(args), out[1], fileno(err), -1, extra);
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
    // Closing its output is not ending: one that lingers past the deadline is killed too.
    int status = 0;
    const bool ended = got <= 0 && reapBy(pid, &status, deadline);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    result.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::rewind(err);
    for (int c; (c = std::fgetc(err)) != EOF;) {
        result.err += static_cast<char>(c);
    }
    std::fclose(err);
    return result;
}

// Ends a process this test started and reaps it: signal first, SIGKILL when that has not
// ended it within 5 s.
inline void endProcess(pid_t pid, int signal = SIGTERM) {
    if (pid > 0 && kill(pid, signal) == 0 &&
        !reapBy(pid, nullptr, std::chrono::steady_clock::now() + std::chrono::seconds(5))) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// A program the test talks to while it runs: lines in on its standard input, lines out of
// its standard output (its standard error is the test's). Killed and reaped at the end
// unless it was finished.
class TalkingProcess {
  public:
    TalkingProcess(const std::string& program, std::vector<std::string> args,
                   const Environment& extra = {}) {
        int in[2] = {-1, -1}, out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        pid_ = startProcess(program, std::move(args), out[1], STDERR_FILENO, in[0], extra);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~TalkingProcess() {
        closeInput();
        close(output_);
        endProcess(pid_, SIGKILL);
    }
    TalkingProcess(const TalkingProcess&) = delete;
    TalkingProcess& operator=(const TalkingProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next line without its newline; nothing at the end of the output or the time.
    std::optional<std::string> readLine(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string line;
        for (char c = 0;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{output_, POLLIN, 0};
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
                read(output_, &c, 1) != 1) {
                return std::nullopt;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
    }
    // Closes its input and waits for its end; the exit status, or -1 when it had to be
    // killed at the limit.
    int finish(std::chrono::milliseconds limit) {
        closeInput();
        int status = -1;
        if (!reapBy(pid_, &status, std::chrono::steady_clock::now() + limit)) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    void closeInput() { close(std::exchange(input_, -1)); }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

}  // namespace mavu::testing
