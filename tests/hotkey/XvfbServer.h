#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace mavu::testing {

// A private X server for one test. Xvfb picks a free display itself (-displayfd), so
// tests running side by side never collide; it is stopped by its pid.
class XvfbServer {
  public:
    XvfbServer() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            fcntl(fds[1], F_SETFD, 0);
            dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset",
                   "-screen", "0", "320x240x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the number, then a newline, once it accepts clients; it dies if the
        // pipe is closed before the newline.
        std::string number;
        char c = 0;
        pollfd readable{fds[0], POLLIN, 0};
        while (pid_ > 0 && poll(&readable, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 &&
               c != '\n') {
            number += c;
        }
        if (c == '\n' && !number.empty()) {
            display_ = ":" + number;
        }
        close(fds[0]);
    }
    ~XvfbServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Empty when the server did not come up.
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace mavu::testing
