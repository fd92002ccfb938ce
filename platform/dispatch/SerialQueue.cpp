#include "platform/dispatch/SerialQueue.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace mavu::dispatch {

// Shared with the worker thread so that a queue released from inside its own work can
// let the thread finish on its own.
struct SerialQueue::Core {
    Core(std::string l, const Clock& c) : label(std::move(l)), clock(c) {}

    void run();

    const std::string label;
    const Clock& clock;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Work> ready;
    std::map<std::pair<MonotonicTime, std::uint64_t>, Work> timed;
    std::uint64_t sequence = 0;
    bool stopping = false;
};

void SerialQueue::Core::run() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        const MonotonicTime now = clock.monotonicNow();
        while (!timed.empty() && timed.begin()->first.first <= now) {
            ready.push_back(std::move(timed.begin()->second));
            timed.erase(timed.begin());
        }
        if (!ready.empty()) {
            Work work = std::move(ready.front());
            ready.pop_front();
            lock.unlock();
            work();
            // Captured state is destroyed outside the lock: it may enqueue here again.
            work = nullptr;
            lock.lock();
            continue;
        }
        if (timed.empty() || timed.begin()->first.first == MonotonicTime::max()) {
            wake.wait(lock);
        } else {
            wake.wait_for(lock, timed.begin()->first.first - now);
        }
    }
    auto discardedReady = std::move(ready);
    auto discardedTimed = std::move(timed);
    lock.unlock();
}

namespace {
thread_local const void* currentCore = nullptr;
}

SerialQueue::SerialQueue(std::string label, const Clock& clock)
    : core_(std::make_shared<Core>(std::move(label), clock)) {
    thread_ = std::thread([core = core_] {
        currentCore = core.get();
        core->run();
    });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(core_->mutex);
        core_->stopping = true;
    }
    core_->wake.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void SerialQueue::async(Work work) {
    {
        std::lock_guard lock(core_->mutex);
        core_->ready.push_back(std::move(work));
    }
    core_->wake.notify_one();
}

void SerialQueue::asyncAt(MonotonicTime deadline, Work work) {
    {
        std::lock_guard lock(core_->mutex);
        core_->timed.emplace(std::pair{deadline, core_->sequence++}, std::move(work));
    }
    core_->wake.notify_one();
}

const Clock& SerialQueue::clock() const {
    return core_->clock;
}

const std::string& SerialQueue::label() const {
    return core_->label;
}

bool SerialQueue::isCurrent() const {
    return currentCore == core_.get();
}

}  // namespace mavu::dispatch
