#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

#include "platform/clientcheck/FileKey.h"

namespace mavu::clientcheck {

// Verdicts on program files by the version of the file they were reached on, so a
// program that connects again is not checked again. Bounded: when full it starts over.
// Thread-safe.
class VerdictCache {
  public:
    explicit VerdictCache(std::size_t capacity = 64) : capacity_(capacity) {}

    std::optional<bool> find(const FileKey& key) const;
    void remember(const FileKey& key, bool accepted);

  private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::map<FileKey, bool> verdicts_;
};

}  // namespace mavu::clientcheck
