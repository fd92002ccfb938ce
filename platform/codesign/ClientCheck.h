#pragma once

#include <sys/types.h>

#include <optional>

namespace mavu::codesign {

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

// Reads the identity of a live process now, or nothing when it is gone.
std::optional<ProcessIdentity> identifyProcess(pid_t pid);

// Decides whether a process may talk to the daemon.
class ClientVerifier {
public:
    virtual ~ClientVerifier() = default;
    virtual bool isAuthorizedClient(const ProcessIdentity& process) = 0;
};

}  // namespace mavu::codesign
