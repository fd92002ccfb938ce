#pragma once

#include <string>

namespace mavu::pmset {

// A logind inhibitor lock: while fd is open, closing the lid, sleeping and idling do not
// suspend the machine. fd is -1 and error says why when the lock was not granted.
struct InhibitorLock {
    int fd = -1;
    std::string error;
};

// Asks logind on the system bus for the lock (mode "block").
InhibitorLock takeInhibitorLock();

}  // namespace mavu::pmset
