#pragma once

#include <string>
#include <vector>

namespace mavu::services {

// Starts argv[0] (an absolute path) with the other elements as its arguments, in a
// session of its own and with nothing on standard input, and returns without waiting for
// it: the program is reparented to init, so it leaves no zombie behind. False when it
// could not be started at all.
bool launchDetached(const std::vector<std::string>& argv);

}  // namespace mavu::services
