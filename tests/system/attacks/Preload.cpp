// Preloaded into a signed client (LD_PRELOAD=...): calls the helper from inside that
// process before its own code runs, then ends it.
#include <unistd.h>

#include <cstdio>

#include "tests/system/attacks/RawBus.h"

__attribute__((constructor)) static void attack() {
    std::printf("pid %d\n", ::getpid());
    mavu::attacks::callHelper("Arm");
    std::fflush(stdout);
    ::_exit(0);
}
