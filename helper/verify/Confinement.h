#pragma once

#include <sys/types.h>

namespace mavu::verify {

// Gives up what the verifier was started with: becomes uid and gid with no supplementary
// groups (when started as root), drops every capability and forbids gaining any again.
// Also makes sure the verifier dies with the daemon. False when any of it failed.
bool dropPrivileges(uid_t uid, gid_t gid);

// From here on the process may only read and map what it already has open, write to
// what it already has open, and end: every other system call fails with EPERM. Left out
// where it cannot be done (another architecture, a sanitizer runtime that needs more).
// False when the filter could not be installed.
bool restrictSystemCalls();

}  // namespace mavu::verify
