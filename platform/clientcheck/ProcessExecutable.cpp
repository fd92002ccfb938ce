#include "platform/clientcheck/ProcessExecutable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clientcheck/ProcStat.h"

namespace mavu::clientcheck {

namespace {

std::optional<unsigned long long> readStartTime(int directory, const char* statPath) {
    UniqueFd stat(::openat(directory, statPath, O_RDONLY | O_CLOEXEC));
    if (!stat) {
        return std::nullopt;
    }
    // One line well under a page; the kernel hands it over in one read.
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(stat.get(), buffer, sizeof buffer)) < 0 && errno == EINTR) {
    }
    if (got <= 0) {
        return std::nullopt;
    }
    return parseStartTime(std::string_view(buffer, static_cast<std::size_t>(got)));
}

}  // namespace

std::optional<ProcessIdentity> identifyProcess(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const std::optional<unsigned long long> start = readStartTime(AT_FDCWD, path.c_str());
    if (!start) {
        return std::nullopt;
    }
    return ProcessIdentity{pid, *start};
}

std::variant<UniqueFd, std::string> openExecutable(const ProcessIdentity& process) {
    const std::string pid = std::to_string(process.pid);
    if (process.pid <= 0) {
        return "There is no process " + pid + ".";
    }
    UniqueFd directory(::open(("/proc/" + pid).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::optional<unsigned long long> start =
        directory ? readStartTime(directory.get(), "stat") : std::nullopt;
    if (!start) {
        return "Process " + pid + " has ended.";
    }
    if (*start != process.startTime) {
        return "Process " + pid + " is no longer the process that connected.";
    }
    UniqueFd exe(::openat(directory.get(), "exe", O_PATH | O_CLOEXEC));
    if (!exe) {
        return "The program of process " + pid + " cannot be opened.";
    }
    return exe;
}

}  // namespace mavu::clientcheck
