#include "helper/pmset/RuntimeFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

namespace mavu::pmset {

namespace {

// The daemon runs the tool one run at a time, so the lock is free but for a run the
// daemon already gave up on. The tool's own limits (this, then 4 s for a holder to start)
// stay well inside the 10 s after which the daemon kills it.
constexpr auto kLockWait = std::chrono::seconds(2);
constexpr auto kLockRetry = std::chrono::milliseconds(20);

}  // namespace

RuntimeLock::RuntimeLock(const std::filesystem::path& runtimeDir) {
    std::error_code error;
    std::filesystem::create_directories(runtimeDir, error);
    fd_ = ::open((runtimeDir / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (!(held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0)) {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            return;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
}

RuntimeLock::~RuntimeLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool writeFileAtomically(const std::filesystem::path& file, const std::string& text) {
    auto temporary = file;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    return !error;
}

}  // namespace mavu::pmset
