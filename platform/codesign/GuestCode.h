#pragma once

#include <string>

#include "platform/codesign/ClientCheck.h"
#include "platform/codesign/Result.h"

namespace mavu::codesign {

// The program a process runs, read while the process was pinned.
struct GuestCode {
    ProcessIdentity process;
    std::string image;  // the bytes of its executable file
};

// Reads the executable of process. The process is pinned by a handle on its /proc
// directory, which keeps naming that one process even if the pid is later reused; its
// start time is read through the handle and must match, so a pid that changed hands
// since the identity was taken is refused.
Result<GuestCode> copyGuestCode(const ProcessIdentity& process);

}  // namespace mavu::codesign
