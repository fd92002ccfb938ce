#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/log/Log.h"

namespace mavu::testing {

// Collects the log lines written while it exists.
class LogCapture {
  public:
    LogCapture() {
        previous_ = log::setSink([this](const std::string& text) {
            std::lock_guard lock(mutex_);
            lines_.push_back(text);
        });
    }
    ~LogCapture() { log::setSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    log::Sink previous_;
};

}  // namespace mavu::testing
