// The thermal zones of the machine, as a tree layout (see FuzzScratch.h) under
// sys/class/thermal, e.g. "thermal_zone0/trip_point_0_type=critical".
#include "platform/hardware/SysfsThermalSource.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(ThermalZones) {
    using mavu::hardware::ThermalState;
    const auto root = mavu::fuzz::scratchDir() / "laptop";
    mavu::fuzz::writeTree(root / "sys/class/thermal", input);
    const ThermalState level = mavu::hardware::SysfsThermalSource(root).thermalState();

    // Each level needs a trip point of its kind.
    const auto names = [&](std::string_view type) {
        return input.find(type) != std::string_view::npos;
    };
    MAVU_FUZZ_CHECK(level != ThermalState::critical || names("critical") || names("hot"));
    MAVU_FUZZ_CHECK(level != ThermalState::serious || names("passive"));
    MAVU_FUZZ_CHECK(level != ThermalState::fair || names("active"));
}
