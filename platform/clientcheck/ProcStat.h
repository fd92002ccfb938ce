#pragma once

#include <optional>
#include <string_view>

namespace mavu::clientcheck {

// The start time (field 22, clock ticks after boot) of a /proc/<pid>/stat line. The
// command name in field 2 may hold spaces and parentheses, so fields are counted from
// the last ')'.
std::optional<unsigned long long> parseStartTime(std::string_view statLine);

}  // namespace mavu::clientcheck
