#include "platform/codesign/GuestCode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/codesign/ProcStat.h"

namespace mavu::codesign {

namespace {

// Larger programs are refused rather than read into memory.
constexpr std::size_t kMaxImageSize = 512u * 1024 * 1024;

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

// Reads the whole of fd, or nothing when it fails or grows past limit.
std::optional<std::string> readAll(int fd, std::size_t limit) {
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        bytes.reserve(std::min(static_cast<std::size_t>(info.st_size), limit));
    }
    char buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        if (bytes.size() + static_cast<std::size_t>(got) > limit) {
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

std::optional<unsigned long long> readStartTime(int directory, const char* statPath) {
    Fd stat(::openat(directory, statPath, O_RDONLY | O_CLOEXEC));
    if (!stat) {
        return std::nullopt;
    }
    std::optional<std::string> line = readAll(stat.get(), 4096);
    return line ? parseStartTime(*line) : std::nullopt;
}

}  // namespace

std::optional<ProcessIdentity> identifyProcess(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    std::optional<unsigned long long> start = readStartTime(AT_FDCWD, path.c_str());
    if (!start) {
        return std::nullopt;
    }
    return ProcessIdentity{pid, *start};
}

Result<GuestCode> copyGuestCode(const ProcessIdentity& process) {
    using R = Result<GuestCode>;
    std::string pid = std::to_string(process.pid);
    if (process.pid <= 0) {
        return R::failure("There is no process " + pid + ".");
    }
    Fd directory(::open(("/proc/" + pid).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::optional<unsigned long long> start =
        directory ? readStartTime(directory.get(), "stat") : std::nullopt;
    if (!start) {
        return R::failure("Process " + pid + " has ended.");
    }
    if (*start != process.startTime) {
        return R::failure("Process " + pid + " is no longer the process that connected.");
    }
    Fd exe(::openat(directory.get(), "exe", O_RDONLY | O_CLOEXEC));
    if (!exe) {
        return R::failure("The program of process " + pid + " cannot be opened.");
    }
    std::optional<std::string> image = readAll(exe.get(), kMaxImageSize);
    if (!image) {
        return R::failure("The program of process " + pid + " cannot be read.");
    }
    return GuestCode{process, std::move(*image)};
}

}  // namespace mavu::codesign
