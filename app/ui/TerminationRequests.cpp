#include "app/ui/TerminationRequests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace mavu::ui {
namespace {

volatile sig_atomic_t writeFd = -1;
constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = write(writeFd, &byte, 1);
    errno = saved;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace

TerminationRequests::TerminationRequests(dispatch::MainQueue& mainQueue,
                                         std::function<void()> onRequest)
    : onRequest_(std::move(onRequest)) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd = fds[1];
    watch_ = mainQueue.watchReadable(readFd_, [this] { drain(); });
    setHandler(onSignal);
}

TerminationRequests::~TerminationRequests() {
    if (readFd_ < 0) {
        return;
    }
    setHandler(SIG_DFL);
    watch_.reset();
    close(writeFd);
    writeFd = -1;
    close(readFd_);
}

void TerminationRequests::drain() {
    bool requested = false;
    char buffer[64];
    for (;;) {
        const ssize_t n = read(readFd_, buffer, sizeof buffer);
        if (n > 0) {
            requested = true;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (requested && onRequest_) {
        onRequest_();
    }
}

}  // namespace mavu::ui
