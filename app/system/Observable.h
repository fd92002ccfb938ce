#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace mavu::app {

// Ends an observation when destroyed (or reset()).
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    ~Subscription() { reset(); }
    void reset() {
        if (auto cancel = std::exchange(cancel_, {})) {
            cancel();
        }
    }

  private:
    std::function<void()> cancel_;
};

// A published field: a new observer gets the current value at once, then every assignment,
// changed or not, on the thread that assigns (the main queue). Observers may subscribe or
// cancel from inside a notification; a cancelled observer is not called again.
template <class T>
class Observable {
  public:
    using Observer = std::function<void(const T&)>;

    explicit Observable(T initial) : value_(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    const T& get() const { return value_; }
    const T& operator*() const { return value_; }

    [[nodiscard]] Subscription subscribe(Observer observer) const {
        const std::uint64_t id = observers_->next++;
        observers_->list.emplace_back(id, observer);
        observer(value_);
        return Subscription([weak = std::weak_ptr<Observers>(observers_), id] {
            if (auto observers = weak.lock()) {
                std::erase_if(observers->list,
                              [id](const auto& entry) { return entry.first == id; });
            }
        });
    }

    void set(T value) {
        value_ = std::move(value);
        const auto snapshot = observers_->list;
        for (const auto& [id, observer] : snapshot) {
            const bool stillThere =
                std::any_of(observers_->list.begin(), observers_->list.end(),
                            [id = id](const auto& entry) { return entry.first == id; });
            if (stillThere) {
                observer(value_);
            }
        }
    }

  private:
    struct Observers {
        std::vector<std::pair<std::uint64_t, Observer>> list;
        std::uint64_t next = 0;
    };
    T value_;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

}  // namespace mavu::app
