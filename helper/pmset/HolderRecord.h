#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace mavu::pmset {

// The record of a running sleep holder, in the runtime folder as "sleep-hold":
//   pid=<decimal pid>
//   starttime=<start time in clock ticks after boot, as /proc/<pid>/stat has it>
// The start time tells our holder apart from a later process that got the same pid.
struct HolderRecord {
    pid_t pid = 0;
    unsigned long long startTime = 0;
};

inline constexpr char kHolderRecordName[] = "sleep-hold";

std::string formatHolderRecord(const HolderRecord& record);
// Nothing when the file is missing or not a record.
std::optional<HolderRecord> readHolderRecord(const std::filesystem::path& file);

// The start time of a process that is still running (a zombie has ended), or nothing.
std::optional<unsigned long long> runningProcessStartTime(pid_t pid);
// Whether record names a running process of this very program, started when recorded.
bool isOurRunningHolder(const HolderRecord& record);

}  // namespace mavu::pmset
