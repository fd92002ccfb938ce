#pragma once

#include <filesystem>

namespace mavu::pmset {

// Where the tool finds the machine and keeps its records.
struct ToolPaths {
    // MAVU_HARDWARE_ROOT, else "/": the root under which /sys is read and written.
    std::filesystem::path hardwareRoot;
    // MAVU_RUNTIME_DIR, else "/run/mavu": the sleep holder and backlight records.
    std::filesystem::path runtimeDir;
};

ToolPaths toolPathsFromEnvironment();

}  // namespace mavu::pmset
