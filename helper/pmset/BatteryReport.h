#pragma once

#include <filesystem>
#include <string>

namespace mavu::pmset {

// "-g batt": the power source and the internal batteries under
// <hardwareRoot>/sys/class/power_supply, in the text shape of the original tool:
//   Now drawing from 'AC Power'
//    -InternalBattery-0 (id=4718335)	85%; charging; 0:45 remaining present: true
// A battery whose charge cannot be read, and a machine without one, print no line (and
// so no percentage) for it.
std::string batteryReport(const std::filesystem::path& hardwareRoot);

}  // namespace mavu::pmset
