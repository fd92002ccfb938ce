// The daemon's reading of "-g batt": whatever the power tool prints.
#include <algorithm>
#include <cctype>

#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/PowerToolOutput.h"

MAVU_FUZZ_TARGET(BatteryReading) {
    const auto reading = mavu::fuzz::daemonReading(input);
    if (!reading) {
        return;
    }
    // At most three digits before a percent sign; a number it cannot read counts as full.
    std::string lower(input);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    MAVU_FUZZ_CHECK(reading->percent >= 0 && reading->percent <= 999);
    MAVU_FUZZ_CHECK(input.find('%') != std::string_view::npos);
    MAVU_FUZZ_CHECK(reading->onACPower == (lower.find("ac power") != std::string::npos));

    // The same report with another line after it reads the same: only the first
    // percentage counts.
    const auto extended = mavu::fuzz::daemonReading(std::string(input) + "\n 7% AC Power\n");
    MAVU_FUZZ_CHECK(extended && extended->percent == reading->percent);
}
