#pragma once

#include <filesystem>
#include <optional>

#include "protocol/HelperProtocol.h"

namespace mavu::helper {

// The daemon's version as its bundle states it: CFBundleShortVersionString and
// CFBundleVersion of the Info.plist three folders above the running executable, each "?"
// when it cannot be read. Read afresh at every call.
protocol::HelperVersion readHelperVersion();

// The same lookup for a given executable path; none answers "?" and "?".
protocol::HelperVersion readHelperVersion(const std::optional<std::filesystem::path>& executable);

}  // namespace mavu::helper
