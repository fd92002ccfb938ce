#include "platform/dispatch/Timer.h"

namespace mavu::dispatch {

std::shared_ptr<Timer> Timer::create(Queue& queue) {
    return std::shared_ptr<Timer>(new Timer(queue));
}

void Timer::schedule(MonotonicTime firstDeadline, std::optional<Duration> repeatInterval) {
    std::lock_guard lock(mutex_);
    deadline_ = firstDeadline;
    repeat_ = repeatInterval && *repeatInterval > Duration::zero() ? repeatInterval : std::nullopt;
    if (resumed_ && !cancelled_) {
        armLocked();
    }
}

void Timer::setEventHandler(Work handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void Timer::resume() {
    std::lock_guard lock(mutex_);
    if (resumed_ || cancelled_) {
        return;
    }
    resumed_ = true;
    armLocked();
}

void Timer::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    ++generation_;
    deadline_.reset();
}

bool Timer::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void Timer::armLocked() {
    if (!deadline_) {
        return;
    }
    // A new generation makes every deadline enqueued before this one a no-op, which is
    // how rescheduling and cancelling work without removing anything from the queue.
    const std::uint64_t generation = ++generation_;
    std::weak_ptr<Timer> weak = weak_from_this();
    queue_.asyncAt(*deadline_, [weak, generation] {
        if (auto timer = weak.lock()) {
            timer->fire(generation);
        }
    });
}

void Timer::fire(std::uint64_t generation) {
    Work handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || generation != generation_ || !deadline_) {
            return;
        }
        handler = handler_;
        if (repeat_) {
            const MonotonicTime now = queue_.clock().monotonicNow();
            MonotonicTime next = addSaturating(*deadline_, *repeat_);
            if (next <= now) {
                // Fallen behind (a suspended machine, a blocked queue): skip the missed
                // ticks instead of firing them in a burst.
                const auto behind = (now - *deadline_) / *repeat_;
                next = addSaturating(*deadline_, *repeat_ * (behind + 1));
            }
            deadline_ = next;
            armLocked();
        } else {
            deadline_.reset();
        }
    }
    if (handler) {
        handler();
    }
}

std::shared_ptr<Timer> startRepeating(Queue& queue, Duration interval, Work handler) {
    auto timer = Timer::create(queue);
    timer->schedule(addSaturating(queue.clock().monotonicNow(), interval), interval);
    timer->setEventHandler(std::move(handler));
    timer->resume();
    return timer;
}

std::shared_ptr<Timer> startOneShot(Queue& queue, MonotonicTime deadline, Work handler) {
    auto timer = Timer::create(queue);
    timer->schedule(deadline);
    timer->setEventHandler(std::move(handler));
    timer->resume();
    return timer;
}

}  // namespace mavu::dispatch
