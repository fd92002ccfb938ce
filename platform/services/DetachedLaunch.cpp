#include "platform/services/DetachedLaunch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace mavu::services {

bool launchDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty() || argv.front().front() != '/') {
        return false;
    }
    // Everything the children need is prepared here: after fork() in a threaded program
    // only async-signal-safe calls are allowed.
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0) {
        return false;
    }
    sigset_t none;
    sigemptyset(&none);

    // The intermediate child forks the program and exits at once; reaping it is all the
    // waiting done here.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::setsid();
            ::dup2(devNull, STDIN_FILENO);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::close_range(3, ~0U, 0);
            ::execve(args[0], args.data(), environ);
            ::_exit(127);
        }
        ::_exit(0);
    }
    ::close(devNull);
    if (child < 0) {
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

}  // namespace mavu::services
