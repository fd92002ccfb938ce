#pragma once

#include <string>

#include "tests/support/ChildProcess.h"

namespace mavu::testing {

// A private X server for one test. Xvfb picks a free display itself (-displayfd), so
// tests running side by side never collide; it is stopped by its pid.
class XvfbServer {
  public:
    // size is the screen's, as Xvfb takes it: "WxHxDEPTH".
    explicit XvfbServer(const std::string& size = "320x240x24") {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        pid_ = startProcess("Xvfb", {"-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                                     "-noreset", "-screen", "0", size});
        close(fds[1]);
        // Xvfb writes the number, then a newline, once it accepts clients; it dies if the
        // pipe is closed before the newline.
        std::string number;
        char c = 0;
        pollfd readable{fds[0], POLLIN, 0};
        while (poll(&readable, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        display_ = c == '\n' && !number.empty() ? ":" + number : "";
        close(fds[0]);
    }
    ~XvfbServer() { endProcess(pid_); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Empty when the server did not come up.
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace mavu::testing
