// Preloaded into a signed client (LD_PRELOAD=...): calls the helper from inside that
// process before its own code runs, then ends it.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "tests/system/attacks/RawBus.h"

__attribute__((constructor)) static void attack() {
    std::printf("pid %d\n", ::getpid());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && mavu::attacks::connectToBus(fd)) {
        mavu::attacks::callHelper(fd, "Arm");
    }
    std::fflush(stdout);
    ::_exit(0);
}
