#include "platform/dispatch/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace mavu::dispatch {

struct RunLoop::Watch {
    int fd;
    Work onReadable;
    std::atomic<bool> active{true};
};

class RunLoop::WatchHandle final : public ReadableWatch {
  public:
    WatchHandle(RunLoop& loop, std::shared_ptr<Watch> watch)
        : loop_(loop), watch_(std::move(watch)) {}
    ~WatchHandle() override {
        watch_->active = false;
        std::lock_guard lock(loop_.mutex_);
        std::erase(loop_.watches_, watch_);
    }

  private:
    RunLoop& loop_;
    std::shared_ptr<Watch> watch_;
};

RunLoop::RunLoop(const Clock& clock, std::string label) : clock_(clock), label_(std::move(label)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

RunLoop::~RunLoop() {
    close(wakeFd_);
}

void RunLoop::async(Work work) {
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(work));
    }
    wake();
}

void RunLoop::asyncAt(MonotonicTime deadline, Work work) {
    {
        std::lock_guard lock(mutex_);
        timed_.emplace(std::pair{deadline, sequence_++}, std::move(work));
    }
    wake();
}

std::unique_ptr<ReadableWatch> RunLoop::watchReadable(int fd, Work onReadable) {
    auto watch = std::make_shared<Watch>();
    watch->fd = fd;
    watch->onReadable = std::move(onReadable);
    {
        std::lock_guard lock(mutex_);
        watches_.push_back(watch);
    }
    wake();
    return std::make_unique<WatchHandle>(*this, std::move(watch));
}

bool RunLoop::isCurrent() const {
    return runner_.load() == std::this_thread::get_id();
}

void RunLoop::stop() {
    stopping_ = true;
    wake();
}

void RunLoop::wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong here.
    [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
}

void RunLoop::drainWake() {
    std::uint64_t value = 0;
    [[maybe_unused]] auto got = read(wakeFd_, &value, sizeof value);
}

bool RunLoop::runDueWork() {
    std::deque<Work> batch;
    {
        std::lock_guard lock(mutex_);
        const MonotonicTime now = clock_.monotonicNow();
        while (!timed_.empty() && timed_.begin()->first.first <= now) {
            ready_.push_back(std::move(timed_.begin()->second));
            timed_.erase(timed_.begin());
        }
        batch.swap(ready_);
    }
    for (auto& work : batch) {
        if (stopping_) {
            return false;
        }
        work();
        work = nullptr;
    }
    return !stopping_;
}

int RunLoop::pollTimeoutMs() {
    std::lock_guard lock(mutex_);
    if (!ready_.empty()) {
        return 0;
    }
    if (timed_.empty() || timed_.begin()->first.first == MonotonicTime::max()) {
        return -1;
    }
    const auto wait = timed_.begin()->first.first - clock_.monotonicNow();
    if (wait <= Duration::zero()) {
        return 0;
    }
    // Round up so we never wake a moment before the deadline and spin.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return static_cast<int>(std::min<long long>(ms, std::numeric_limits<int>::max()));
}

void RunLoop::run() {
    runner_ = std::this_thread::get_id();
    stopping_ = false;
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<Watch>> polled;
    while (runDueWork()) {
        {
            std::lock_guard lock(mutex_);
            polled = watches_;
        }
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        for (const auto& watch : polled) {
            fds.push_back({watch->fd, POLLIN, 0});
        }
        const int ready = poll(fds.data(), fds.size(), pollTimeoutMs());
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[0].revents != 0) {
            drainWake();
        }
        for (std::size_t i = 0; i < polled.size() && !stopping_; ++i) {
            if (fds[i + 1].revents != 0 && polled[i]->active) {
                polled[i]->onReadable();
            }
        }
    }
    runner_ = std::thread::id{};
}

}  // namespace mavu::dispatch
