#pragma once

#include "platform/dispatch/Time.h"

namespace mavu::dispatch {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual WallTime wallNow() const = 0;
    virtual MonotonicTime monotonicNow() const = 0;
};

class SystemClock final : public Clock {
  public:
    WallTime wallNow() const override { return std::chrono::system_clock::now(); }
    MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace mavu::dispatch
