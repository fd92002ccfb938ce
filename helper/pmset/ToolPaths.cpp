#include "helper/pmset/ToolPaths.h"

#include <cstdlib>
#include <string>

namespace mavu::pmset {

namespace {

std::filesystem::path fromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value && *value) ? value : fallback;
}

}  // namespace

ToolPaths toolPathsFromEnvironment() {
    return {fromEnvironment("MAVU_HARDWARE_ROOT", "/"),
            fromEnvironment("MAVU_RUNTIME_DIR", "/run/mavu")};
}

}  // namespace mavu::pmset
