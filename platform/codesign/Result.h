#pragma once

#include <optional>
#include <string>
#include <utility>

namespace mavu::codesign {

// A value, or a sentence that says why there is none. Checks answer with these instead
// of throwing, so every failure reaches the caller as text it can log or show.
template <class T>
class Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    static Result failure(std::string why) { return Result(std::nullopt, std::move(why)); }

    explicit operator bool() const { return value_.has_value(); }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    const T* operator->() const { return &*value_; }
    const std::string& error() const { return error_; }

    // Carries this failure over to a result of another type.
    template <class U>
    Result<U> forward() const {
        return Result<U>::failure(error_);
    }

  private:
    Result(std::nullopt_t, std::string why) : error_(std::move(why)) {}

    std::optional<T> value_;
    std::string error_;
};

// The value of a check that only succeeds or fails.
struct Passed {};

}  // namespace mavu::codesign
