#pragma once

#include <string>
#include <vector>

namespace mavu::helper::pmset {

// The only command lines the daemon gives the power tool.
inline const std::vector<std::string> kRestoreSleep{"-a", "disablesleep", "0"};
inline const std::vector<std::string> kDisableSleep{"-a", "disablesleep", "1"};
inline const std::vector<std::string> kDisplaySleepNow{"displaysleepnow"};
inline const std::vector<std::string> kReadBattery{"-g", "batt"};

}  // namespace mavu::helper::pmset
