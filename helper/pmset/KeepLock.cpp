#include "helper/pmset/KeepLock.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "helper/pmset/InhibitorLock.h"

namespace mavu::pmset {

namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(200);

// Blocks until logind's end of the lock is gone: the write end of its pipe then reports an
// error (a hang-up and an error are reported without being asked for).
void waitUntilDropped(int fd) {
    for (;;) {
        pollfd lock{fd, 0, 0};
        const int polled = ::poll(&lock, 1, -1);
        if (polled > 0 || (polled < 0 && errno != EINTR)) {
            return;
        }
    }
}

void sleepFor(std::chrono::milliseconds interval) {
    timespec left{0, static_cast<long>(std::chrono::nanoseconds(interval).count())};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace

void keepInhibitorLock(int fd, std::chrono::milliseconds retakeLimit) {
    for (;;) {
        waitUntilDropped(fd);
        const auto deadline = std::chrono::steady_clock::now() + retakeLimit;
        InhibitorLock again = takeInhibitorLock();
        while (again.fd < 0 && std::chrono::steady_clock::now() + kRetryInterval < deadline) {
            sleepFor(kRetryInterval);
            again = takeInhibitorLock();
        }
        // Closed only now, so a logind that kept the old lock across its restart never
        // sees a moment without one.
        ::close(fd);
        if (again.fd < 0) {
            return;
        }
        fd = again.fd;
    }
}

}  // namespace mavu::pmset
