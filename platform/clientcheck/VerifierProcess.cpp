#include "platform/clientcheck/VerifierProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/clientcheck/UniqueFd.h"

extern char** environ;

namespace mavu::clientcheck {

namespace {

constexpr int kExecutableFd = 3;
constexpr int kAnchorFd = 4;
// A verdict is one short line; more is not a verdict.
constexpr std::size_t kMaxOutput = 4096;

// Between fork and exec only system calls: the daemon has other threads, whose locks the
// child inherits held.
[[noreturn]] void becomeVerifier(const char* path, char* const* argv, int executable, int anchor,
                                 int output) {
    const int executableCopy = ::fcntl(executable, F_DUPFD, 10);
    const int anchorCopy = ::fcntl(anchor, F_DUPFD, 10);
    const int outputCopy = ::fcntl(output, F_DUPFD, 10);
    const int null = ::open("/dev/null", O_RDONLY);
    if (executableCopy < 0 || anchorCopy < 0 || outputCopy < 0 || null < 0 ||
        ::dup2(null, STDIN_FILENO) < 0 || ::dup2(outputCopy, STDOUT_FILENO) < 0 ||
        ::dup2(executableCopy, kExecutableFd) < 0 || ::dup2(anchorCopy, kAnchorFd) < 0) {
        ::_exit(127);
    }
    ::close_range(kAnchorFd + 1, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // It must not outlive the daemon, even stuck on a file.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execve(path, argv, environ);
    ::_exit(127);
}

// Appends what fd has now, up to the limit; false once it is at its end.
bool drain(int fd, std::string& output) {
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            const std::size_t room = kMaxOutput - output.size();
            output.append(buffer, std::min(room, static_cast<std::size_t>(got)));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return got < 0 && errno == EAGAIN;
        }
    }
}

}  // namespace

Verdict parseVerdict(std::string_view output, std::optional<int> exitStatus) {
    const std::string_view line = output.substr(0, output.find('\n'));
    if (exitStatus == 0 && line.starts_with("accepted")) {
        return Verdict::accepted;
    }
    if (exitStatus == 1 && line.starts_with("refused")) {
        return Verdict::refused;
    }
    return Verdict::unknown;
}

Verdict runVerifier(const VerifierProgram& program, int executable,
                    std::chrono::steady_clock::time_point deadline) {
    UniqueFd anchor(::open(program.anchorPath.c_str(), O_RDONLY | O_CLOEXEC));
    int fds[2];
    if (!anchor || ::pipe2(fds, O_CLOEXEC) != 0) {
        return Verdict::unknown;
    }
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    std::string uid = std::to_string(program.uid);
    std::string gid = std::to_string(program.gid);
    std::string path = program.path;
    std::string uidOption = "--uid";
    std::string gidOption = "--gid";
    char* const argv[] = {path.data(),      uidOption.data(), uid.data(),
                          gidOption.data(), gid.data(),       nullptr};

    const pid_t pid = ::fork();
    if (pid < 0) {
        return Verdict::unknown;
    }
    if (pid == 0) {
        becomeVerifier(path.c_str(), argv, executable, anchor.get(), writeEnd.get());
    }
    writeEnd.reset();
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
    // Readable once the verifier has ended, so one poll waits for its words and its end.
    UniqueFd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

    std::string output;
    std::optional<int> exitStatus;
    bool ended = false;
    pollfd watched[2] = {{readEnd.get(), POLLIN, 0}, {exited.get(), POLLIN, 0}};
    while (exited) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        const int polled =
            ::poll(watched, 2, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (polled < 0 && errno != EINTR) {
            break;
        }
        if (watched[0].fd >= 0 && !drain(readEnd.get(), output)) {
            watched[0].fd = -1;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            drain(readEnd.get(), output);
            if (WIFEXITED(status)) {
                exitStatus = WEXITSTATUS(status);
            }
            break;
        }
    }
    if (!ended) {
        // Still running at the deadline: whatever it would say comes too late.
        if (exited) {
            ::syscall(SYS_pidfd_send_signal, exited.get(), SIGKILL, nullptr, 0);
        } else {
            ::kill(pid, SIGKILL);
        }
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return Verdict::unknown;
    }
    return parseVerdict(output, exitStatus);
}

}  // namespace mavu::clientcheck
