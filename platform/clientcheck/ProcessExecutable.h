#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <variant>

#include "platform/clientcheck/ClientCheck.h"
#include "platform/clientcheck/UniqueFd.h"

namespace mavu::clientcheck {

// Reads the identity of a live process now, or nothing when it is gone.
std::optional<ProcessIdentity> identifyProcess(pid_t pid);

// A path handle (O_PATH) on the program file a process runs, or a sentence why there is
// none. The process is pinned by a handle on its folder, which keeps naming that one
// process even if the pid is later reused; its start time is read through the handle and
// must match, so a pid that changed hands since the identity was taken is refused.
// Nothing of the file is read: a path handle makes no request to the file system, so a
// file on a stalling mount cannot block the caller here.
std::variant<UniqueFd, std::string> openExecutable(const ProcessIdentity& process);

}  // namespace mavu::clientcheck
