#pragma once

#include <sys/types.h>

#include <functional>

namespace mavu::clientcheck {

// The requirement a connecting client must meet.
inline constexpr char kClientRequirement[] =
    "anchor apple generic and identifier \"com.norvel.mavu\" and certificate "
    "leaf[subject.OU] = \"QX3J8R2N5T\"";

// A process as seen when its bus credentials were taken. The start time (clock ticks
// after boot, /proc/<pid>/stat field 22) pins the pid: a later check refuses a pid that
// now belongs to another process.
struct ProcessIdentity {
    pid_t pid = 0;
    unsigned long long startTime = 0;
};

// Decides whether the program a process runs may talk to the daemon.
class ClientVerifier {
  public:
    using Answer = std::function<void(bool authorized)>;
    virtual ~ClientVerifier() = default;
    // Starts the check and returns; answer is called once, on any thread, possibly before
    // this returns. A check that cannot finish answers false.
    virtual void checkClient(const ProcessIdentity& process, Answer answer) = 0;
};

}  // namespace mavu::clientcheck
