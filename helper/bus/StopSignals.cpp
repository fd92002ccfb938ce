#include "helper/bus/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace mavu::helper {
namespace {

volatile sig_atomic_t writeFd = -1;
constexpr std::array<int, 2> kStopSignals{SIGTERM, SIGINT};

void onStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = write(writeFd, &byte, 1);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd = fds[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    if (readFd_ < 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
    close(writeFd);
    writeFd = -1;
    close(readFd_);
}

bool StopSignals::takeRequest() {
    bool requested = false;
    char buffer[64];
    while (readFd_ >= 0) {
        const ssize_t n = read(readFd_, buffer, sizeof buffer);
        if (n > 0) {
            requested = true;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    return requested;
}

}  // namespace mavu::helper
