#include "helper/pmset/SleepHold.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>

#include "helper/pmset/Backlight.h"
#include "helper/pmset/HolderRecord.h"
#include "helper/pmset/InhibitorLock.h"
#include "helper/pmset/KeepLock.h"
#include "helper/pmset/RuntimeFiles.h"

namespace mavu::pmset {

namespace {

// The holder connects to the bus and asks logind (which itself gives up after 3 s).
constexpr auto kHolderStartLimit = std::chrono::seconds(4);
constexpr int kHolderEndLimitMs = 2000;
// How long a holder waits for logind to come back after a restart dropped its lock.
constexpr auto kRetakeLimit = std::chrono::seconds(10);
constexpr char kHeld[] = "held";
constexpr int kReportFd = 3;

void report(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] auto written = ::write(kReportFd, text.data(), text.size());
}

// The holder: it takes the lock, records itself, says so through the report pipe and
// then only waits to be ended by a signal; the kernel closes the lock's descriptor when
// it goes, which releases the lock. Until it has reported, it stays in the tool's process
// group, so a caller that kills the tool for taking too long kills it too and no lock
// can be taken after the caller gave up; once held, it detaches from the caller.
[[noreturn]] void runHolder(int reportFd, const std::filesystem::path& recordFile) {
    [[maybe_unused]] int ignored = ::chdir("/");
    // The caller reads our standard output and error to their end, so they must not stay
    // open here; nor may any other inherited descriptor (the runtime lock above all).
    const int reportCopy = ::fcntl(reportFd, F_DUPFD, 10);
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd) {
        ::dup2(null, fd);
    }
    ::dup2(reportCopy, kReportFd);
    ::close_range(kReportFd + 1, ~0U, 0);

    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    const InhibitorLock lock = takeInhibitorLock();
    if (lock.fd < 0) {
        report("error " + lock.error);
        ::_exit(1);
    }
    const auto startTime = runningProcessStartTime(::getpid());
    if (!startTime ||
        !writeFileAtomically(recordFile, formatHolderRecord({::getpid(), *startTime}))) {
        report("error Could not record the sleep holder in " + recordFile.parent_path().string() +
               ".");
        ::_exit(1);
    }
    report(kHeld);
    ::close(kReportFd);
    ::setsid();
    // A holder that lost its lock for good ends, so the daemon's next check of the hold
    // finds none and takes it again or lets the machine sleep.
    keepInhibitorLock(lock.fd, kRetakeLimit);
    ::_exit(1);
}

// The holder's first report line, or what went wrong while waiting for it.
std::string awaitReport(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + kHolderStartLimit;
    std::string text;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return "error The sleep holder did not start in time.";
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR) {
            return "error Could not wait for the sleep holder.";
        }
        if (polled <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
            if (const auto end = text.find('\n'); end != std::string::npos) {
                return text.substr(0, end);
            }
        } else if (got == 0) {
            return "error The sleep holder ended before taking the lock.";
        } else if (errno != EINTR) {
            return "error Could not read from the sleep holder.";
        }
    }
}

bool waitForExit(int pidfd, int limitMs) {
    pollfd exited{pidfd, POLLIN, 0};
    int polled;
    while ((polled = ::poll(&exited, 1, limitMs)) < 0 && errno == EINTR) {
    }
    return polled > 0;
}

// Ends the holder the record names, if it is still ours. True when no such process runs
// any more.
bool endHolder(const HolderRecord& record) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, record.pid, 0));
    if (pidfd < 0) {
        return !isOurRunningHolder(record);
    }
    // Checked with the pidfd open, so the signals below reach this very process even if
    // its pid were reused meanwhile.
    bool ended = !isOurRunningHolder(record);
    for (int signal : {SIGTERM, SIGKILL}) {
        if (ended) {
            break;
        }
        ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
        ended = waitForExit(pidfd, kHolderEndLimitMs);
    }
    ::close(pidfd);
    return ended;
}

}  // namespace

int holdSleep(const ToolPaths& paths) {
    RuntimeLock lock(paths.runtimeDir);
    if (!lock.held()) {
        std::cerr << "mavu-pmset: could not lock " << paths.runtimeDir.string() << "\n";
        return 1;
    }
    const auto recordFile = paths.runtimeDir / kHolderRecordName;
    if (const auto record = readHolderRecord(recordFile); record && isOurRunningHolder(*record)) {
        return 0;
    }
    std::error_code ignored;
    std::filesystem::remove(recordFile, ignored);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::cerr << "mavu-pmset: could not create a pipe\n";
        return 1;
    }
    const pid_t holder = ::fork();
    if (holder < 0) {
        std::cerr << "mavu-pmset: could not start the sleep holder\n";
        return 1;
    }
    if (holder == 0) {
        ::close(pipeFds[0]);
        runHolder(pipeFds[1], recordFile);
    }
    ::close(pipeFds[1]);
    const std::string reply = awaitReport(pipeFds[0]);
    ::close(pipeFds[0]);
    if (reply == kHeld) {
        return 0;
    }
    // Whatever state it is in, a holder that did not confirm must hold nothing.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    if (const auto record = readHolderRecord(recordFile); record && record->pid == holder) {
        std::filesystem::remove(recordFile, ignored);
    }
    std::cerr << "mavu-pmset: " << reply.substr(reply.find(' ') + 1) << "\n";
    return 1;
}

int releaseSleep(const ToolPaths& paths) {
    std::error_code error;
    if (!std::filesystem::exists(paths.runtimeDir, error)) {
        return 0;
    }
    RuntimeLock lock(paths.runtimeDir);
    if (!lock.held()) {
        std::cerr << "mavu-pmset: could not lock " << paths.runtimeDir.string() << "\n";
        return 1;
    }
    if (!restoreBacklights(paths)) {
        std::cerr << "mavu-pmset: could not power a backlight back on\n";
    }
    const auto recordFile = paths.runtimeDir / kHolderRecordName;
    if (const auto record = readHolderRecord(recordFile); record && !endHolder(*record)) {
        std::cerr << "mavu-pmset: the sleep holder (pid " << record->pid << ") did not end\n";
        return 1;
    }
    std::filesystem::remove(recordFile, error);
    return 0;
}

}  // namespace mavu::pmset
