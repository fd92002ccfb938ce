#include "app/model/DurationOption.h"

namespace mavu::app {

std::string_view rawValue(DurationOption option) {
    switch (option) {
        case DurationOption::one:
            return "1H";
        case DurationOption::two:
            return "2H";
        case DurationOption::four:
            return "4H";
        case DurationOption::eight:
            return "8H";
        case DurationOption::infinite:
            return "\u221E";
    }
    return "\u221E";
}

double seconds(DurationOption option) {
    switch (option) {
        case DurationOption::one:
            return 3600;
        case DurationOption::two:
            return 7200;
        case DurationOption::four:
            return 14400;
        case DurationOption::eight:
            return 28800;
        case DurationOption::infinite:
            return 0;
    }
    return 0;
}

std::optional<DurationOption> durationOptionFromRawValue(std::string_view raw) {
    for (const DurationOption option : allDurationOptions) {
        if (rawValue(option) == raw) {
            return option;
        }
    }
    return std::nullopt;
}

}  // namespace mavu::app
