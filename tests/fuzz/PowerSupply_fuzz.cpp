// mavu-pmset's "-g batt": the power_supply files of the machine, as a tree layout (see
// FuzzScratch.h) under sys/class/power_supply, e.g. "BAT0/capacity=85".
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "helper/pmset/BatteryReport.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/PowerToolOutput.h"

MAVU_FUZZ_TARGET(PowerSupply) {
    const auto root = mavu::fuzz::scratchDir() / "laptop";
    mavu::fuzz::writeTree(root / "sys/class/power_supply", input);
    const std::string report = mavu::pmset::batteryReport(root);
    MAVU_FUZZ_CHECK(report.ends_with('\n'));

    // The power source, then a line per battery, numbered, with a seven-digit id, a charge
    // of at most 100 % and no negative time left.
    static const std::regex batteryLine(
        R"( -InternalBattery-(\d+) \(id=\d{7}\)\t(\d{1,3})%; [^-]* present: true)");
    std::istringstream lines(report);
    std::string source;
    std::getline(lines, source);
    const bool onAC = source == "Now drawing from 'AC Power'";
    MAVU_FUZZ_CHECK(onAC || source == "Now drawing from 'Battery Power'");
    std::vector<int> percents;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        MAVU_FUZZ_CHECK(std::regex_match(line, match, batteryLine) &&
                        std::stoul(match[1]) == percents.size() && std::stoi(match[2]) <= 100);
        percents.push_back(std::stoi(match[2]));
    }

    // The daemon reads back the first battery's charge and the power source; a machine
    // without a battery gives no reading.
    const auto reading = mavu::fuzz::daemonReading(report);
    MAVU_FUZZ_CHECK(percents.empty()
                        ? !reading
                        : reading && reading->percent == percents[0] && reading->onACPower == onAC);
}
