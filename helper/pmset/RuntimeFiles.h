#pragma once

#include <filesystem>
#include <string>

namespace mavu::pmset {

// An exclusive lock on the runtime folder (creating it), so two runs of the tool never
// interleave their reads and writes of the records. Taking it waits a bounded time.
class RuntimeLock {
  public:
    explicit RuntimeLock(const std::filesystem::path& runtimeDir);
    ~RuntimeLock();
    RuntimeLock(const RuntimeLock&) = delete;
    RuntimeLock& operator=(const RuntimeLock&) = delete;

    bool held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

// Replaces file with text through a temporary file and a rename: a reader sees the old
// or the new content, never half of it.
bool writeFileAtomically(const std::filesystem::path& file, const std::string& text);

}  // namespace mavu::pmset
