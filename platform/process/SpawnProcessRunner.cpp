#include "platform/process/SpawnProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

extern char** environ;

namespace mavu::process {
namespace {

using Clock = std::chrono::steady_clock;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

std::string errorText(int error) {
    return std::strerror(error);
}

bool makePipe(Pipe& pipe, std::string& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = "could not create a pipe: " + errorText(errno);
        return false;
    }
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
    // Only our end is non-blocking; the child's end is a separate open file description
    // and keeps ordinary blocking writes.
    ::fcntl(pipe.read.get(), F_SETFL, ::fcntl(pipe.read.get(), F_GETFL) | O_NONBLOCK);
    return true;
}

// Reads what is available now. Closes fd at end of file or on a read error.
void drainAvailable(Fd& fd, std::string* keep) {
    char buffer[65536];
    while (fd.valid()) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            if (keep != nullptr) {
                const std::size_t room = SpawnProcessRunner::kMaxKeptOutput - keep->size();
                keep->append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
            }
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            fd.reset();
        }
    }
}

// A descriptor that becomes readable when the child exits, so one poll() waits for
// output and exit together. Missing on kernels before 5.3; then we poll in short steps.
Fd openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        return Fd(static_cast<int>(fd));
    }
#endif
    (void)pid;
    return Fd();
}

void waitBlocking(pid_t pid, int& status) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

}  // namespace

RunResult SpawnProcessRunner::run(const std::string& executable,
                                  const std::vector<std::string>& arguments,
                                  dispatch::Duration timeLimit) {
    RunResult result;
    Pipe out;
    Pipe err;
    if (!makePipe(out, result.launchError) || !makePipe(err, result.launchError)) {
        return result;
    }

    SpawnSetup setup;
    ::posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&setup.actions, out.write.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&setup.actions, err.write.get(), STDERR_FILENO);
    // The daemon's threads may block or catch signals; the tool starts with defaults.
    // Its own process group lets a kill reach whatever it started.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&setup.attributes, &none);
    ::posix_spawnattr_setsigdefault(&setup.attributes, &all);
    ::posix_spawnattr_setpgroup(&setup.attributes, 0);
    ::posix_spawnattr_setflags(
        &setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError = ::posix_spawn(&pid, executable.c_str(), &setup.actions,
                                         &setup.attributes, argv.data(), environ);
    if (spawnError != 0) {
        result.launchError = executable + ": " + errorText(spawnError);
        return result;
    }
    result.launched = true;
    out.write.reset();
    err.write.reset();

    const Fd pidFd = openPidFd(pid);
    const auto deadline = dispatch::addSaturating(Clock::now(), timeLimit);
    int status = 0;
    for (;;) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            // What the child wrote is in the pipes now. Something it started in the
            // background may keep them open, so take what is there and stop.
            drainAvailable(out.read, &result.output);
            drainAvailable(err.read, nullptr);
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            waitBlocking(pid, status);
            result.timedOut = true;
            return result;
        }

        std::vector<pollfd> fds;
        for (const Fd* fd : {&std::as_const(out.read), &std::as_const(err.read), &pidFd}) {
            if (fd->valid()) {
                fds.push_back({fd->get(), POLLIN, 0});
            }
        }
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (!pidFd.valid()) {
            wait = std::min(wait, std::chrono::milliseconds(10));
        }
        const int timeout = static_cast<int>(std::min<long long>(wait.count(), INT_MAX));
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            // Not expected; avoid spinning while the deadline still guards the child.
            ::usleep(1000);
        }
        drainAvailable(out.read, &result.output);
        drainAvailable(err.read, nullptr);
    }

    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace mavu::process
