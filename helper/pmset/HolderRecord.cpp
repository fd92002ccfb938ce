#include "helper/pmset/HolderRecord.h"

#include <charconv>
#include <sstream>
#include <string_view>

#include "platform/hardware/SysfsValue.h"

namespace mavu::pmset {

namespace {

template <class Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || stop != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The program file a process runs, by name. A program replaced on disk while running
// shows as "<path> (deleted)".
std::optional<std::string> programName(const std::string& process) {
    std::error_code error;
    std::string target = std::filesystem::read_symlink("/proc/" + process + "/exe", error);
    if (error) {
        return std::nullopt;
    }
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted)) {
        target.resize(target.size() - deleted.size());
    }
    return std::filesystem::path(target).filename().string();
}

}  // namespace

std::string formatHolderRecord(const HolderRecord& record) {
    return "pid=" + std::to_string(record.pid) + "\nstarttime=" + std::to_string(record.startTime) +
           "\n";
}

std::optional<HolderRecord> readHolderRecord(const std::filesystem::path& file) {
    const auto text = hardware::readSysfsText(file);
    if (!text) {
        return std::nullopt;
    }
    std::optional<pid_t> pid;
    std::optional<unsigned long long> startTime;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("pid=")) {
            pid = parseNumber<pid_t>(std::string_view(line).substr(4));
        } else if (line.starts_with("starttime=")) {
            startTime = parseNumber<unsigned long long>(std::string_view(line).substr(10));
        }
    }
    if (!pid || *pid <= 0 || !startTime) {
        return std::nullopt;
    }
    return HolderRecord{*pid, *startTime};
}

std::optional<unsigned long long> runningProcessStartTime(pid_t pid) {
    const auto stat = hardware::readSysfsText("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) {
        return std::nullopt;
    }
    // The command name in parentheses may hold anything; the fields follow its last ')'.
    const auto close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat->substr(close + 1));
    std::string field;
    // Field 3 is the state; field 22 the start time.
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X" || state == "x") {
        return std::nullopt;
    }
    for (int index = 4; index <= 22 && fields >> field; ++index) {
        if (index == 22) {
            return parseNumber<unsigned long long>(field);
        }
    }
    return std::nullopt;
}

bool isOurRunningHolder(const HolderRecord& record) {
    if (runningProcessStartTime(record.pid) != record.startTime) {
        return false;
    }
    const auto theirs = programName(std::to_string(record.pid));
    const auto ours = programName("self");
    return theirs && ours && *theirs == *ours;
}

}  // namespace mavu::pmset
