#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace mavu::app {

// The session length the user picks; its raw value is also its button label.
enum class DurationOption { one, two, four, eight, infinite };

// Every option, in the order of the panel's buttons.
inline constexpr std::array<DurationOption, 5> allDurationOptions{
    DurationOption::one, DurationOption::two, DurationOption::four, DurationOption::eight,
    DurationOption::infinite};

// "1H", "2H", "4H", "8H", "∞" (U+221E).
std::string_view rawValue(DurationOption option);
// Seconds sent to the daemon: 3600, 7200, 14400, 28800, and 0 for no end.
double seconds(DurationOption option);
// An exact, case-sensitive match of one of the five raw values; none otherwise.
std::optional<DurationOption> durationOptionFromRawValue(std::string_view raw);

}  // namespace mavu::app
