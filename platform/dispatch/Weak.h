#pragma once

#include <memory>
#include <utility>

namespace mavu::dispatch {

// Wraps f so that it holds owner weakly: the returned callable does nothing once the
// owner is gone, and otherwise calls f(owner, args...). Used for every callback stored
// in something that may outlive its owner (timers, monitors, bus handlers).
template <class T, class F>
auto weakly(std::weak_ptr<T> owner, F f) {
    return [owner = std::move(owner), f = std::move(f)](auto&&... args) mutable {
        if (auto strong = owner.lock()) {
            f(*strong, std::forward<decltype(args)>(args)...);
        }
    };
}

template <class T, class F>
auto weakly(const std::shared_ptr<T>& owner, F f) {
    return weakly(std::weak_ptr<T>(owner), std::move(f));
}

}  // namespace mavu::dispatch
