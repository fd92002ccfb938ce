// mavu-pmset's "-g batt": the power_supply files of the machine, as a tree spec (see
// FuzzScratch.h) under sys/class/power_supply, e.g. "BAT0/capacity=85".
#include <charconv>
#include <sstream>
#include <string>
#include <vector>

#include "helper/pmset/BatteryReport.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/PowerToolOutput.h"

namespace {

// The percentage of one " -InternalBattery-N (id=NNNNNNN)\tP%; <state> present: true" line.
int batteryLinePercent(const std::string& line, std::size_t index) {
    const std::string head = " -InternalBattery-" + std::to_string(index) + " (id=";
    MAVU_FUZZ_CHECK(line.starts_with(head));
    MAVU_FUZZ_CHECK(line.ends_with(" present: true"));
    const std::size_t tab = line.find(")\t");
    MAVU_FUZZ_CHECK(tab == head.size() + 7);  // a seven-digit id
    const std::size_t percentSign = line.find("%; ", tab);
    MAVU_FUZZ_CHECK(percentSign != std::string::npos);
    int percent = -1;
    const char* first = line.data() + tab + 2;
    const char* last = line.data() + percentSign;
    const auto parsed = std::from_chars(first, last, percent);
    MAVU_FUZZ_CHECK(parsed.ec == std::errc() && parsed.ptr == last);
    // Time left is never negative.
    MAVU_FUZZ_CHECK(line.find('-', percentSign) == std::string::npos);
    return percent;
}

}  // namespace

MAVU_FUZZ_TARGET(PowerSupply) {
    const auto root = mavu::fuzz::scratchDir() / "laptop";
    mavu::fuzz::writeTree(root / "sys/class/power_supply", input);
    const std::string report = mavu::pmset::batteryReport(root);

    std::vector<std::string> lines;
    std::istringstream text(report);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    MAVU_FUZZ_CHECK(!report.empty() && report.back() == '\n');
    MAVU_FUZZ_CHECK(!lines.empty());
    const bool onAC = lines[0] == "Now drawing from 'AC Power'";
    MAVU_FUZZ_CHECK(onAC || lines[0] == "Now drawing from 'Battery Power'");
    std::vector<int> percents;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        percents.push_back(batteryLinePercent(lines[i], i - 1));
        MAVU_FUZZ_CHECK(percents.back() >= 0 && percents.back() <= 100);
    }

    // The daemon reads back what the tool printed: the first battery's charge and the
    // power source; a machine without a battery gives no reading.
    const auto reading = mavu::fuzz::daemonReading(report);
    if (percents.empty()) {
        MAVU_FUZZ_CHECK(!reading);
    } else {
        MAVU_FUZZ_CHECK(reading && reading->percent == percents[0] && reading->onACPower == onAC);
    }
}
