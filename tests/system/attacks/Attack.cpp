// Tries to pass as a signed client (the program given) on the bus connection of another
// program, the way an unprivileged user could:
//   mavu-test-attack exec-after-connect SIGNED
//       connects, then execs SIGNED (same pid, same start time) while a child keeps the
//       socket and calls Arm on it
//   mavu-test-attack pid-reuse SIGNED
//       a child connects and exits; processes are started until one running SIGNED gets
//       its pid, then Disarm is called on the socket
// Prints "pid <the pid the bus recorded>" and the call's outcome ("<member> ok" or
// "<member> error <name>"); exit status 2 when the attack could not be set up.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/system/attacks/RawBus.h"

namespace {

using namespace mavu::attacks;
using Clock = std::chrono::steady_clock;

// Until pid runs program, for at most 5 s.
bool runs(pid_t pid, const std::string& program) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    const auto exe = "/proc/" + std::to_string(pid) + "/exe";
    while (Clock::now() < deadline) {
        std::error_code ignored;
        if (std::filesystem::equivalent(exe, program, ignored)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// The signed program, waiting on its standard input (fed by release) until the call
// has been made.
[[noreturn]] void becomeSigned(const std::string& program, int release) {
    ::dup2(release, STDIN_FILENO);
    ::execl(program.c_str(), program.c_str(), "wait", static_cast<char*>(nullptr));
    ::_exit(127);
}

int execAfterConnect(const std::string& program) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int release[2];
    if (fd < 0 || !connectToBus(fd) || ::pipe(release) != 0) {
        return 2;
    }
    std::printf("pid %d\n", ::getpid());
    std::fflush(stdout);
    if (::fork() == 0) {
        ::close(release[0]);
        if (runs(::getppid(), program)) {
            callHelper(fd, "Arm");
        }
        [[maybe_unused]] auto written = ::write(release[1], "\n", 1);
        ::_exit(0);
    }
    ::close(release[1]);
    becomeSigned(program, release[0]);
}

int pidReuse(const std::string& program) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int release[2];
    if (fd < 0 || ::pipe(release) != 0) {
        return 2;
    }
    // The bus records whoever calls connect(): a child, about to end.
    const pid_t recorded = ::fork();
    if (recorded == 0) {
        ::_exit(connectToBus(fd) ? 0 : 1);
    }
    int status = 0;
    if (recorded < 0 || ::waitpid(recorded, &status, 0) != recorded || status != 0) {
        return 2;
    }
    std::printf("pid %d\n", recorded);
    std::fflush(stdout);
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    for (;;) {
        const pid_t next = ::fork();
        if (next == 0) {
            if (::getpid() == recorded) {
                ::close(release[1]);
                becomeSigned(program, release[0]);
            }
            ::_exit(0);
        }
        if (next == recorded) {
            break;
        }
        if (next < 0 || Clock::now() > deadline) {
            std::printf("pid not reused\n");
            return 2;
        }
        ::waitpid(next, nullptr, 0);
    }
    if (runs(recorded, program)) {
        callHelper(fd, "Disarm");
    }
    [[maybe_unused]] auto written = ::write(release[1], "\n", 1);
    ::waitpid(recorded, nullptr, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mavu-test-attack exec-after-connect|pid-reuse SIGNED\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "exec-after-connect") {
        return execAfterConnect(argv[2]);
    }
    if (mode == "pid-reuse") {
        return pidReuse(argv[2]);
    }
    return 2;
}
