// The thermal zones of the machine, as a tree spec (see FuzzScratch.h) under
// sys/class/thermal, e.g. "thermal_zone0/trip_point_0_type=critical".
#include "platform/hardware/SysfsThermalSource.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(ThermalZones) {
    using mavu::hardware::ThermalState;
    const auto root = mavu::fuzz::scratchDir() / "laptop";
    const auto zones = root / "sys/class/thermal";
    mavu::fuzz::writeTree(zones, input);
    const ThermalState level = mavu::hardware::SysfsThermalSource(root).thermalState();

    // Each level needs a trip point of its kind.
    const auto names = [&](std::string_view type) {
        return input.find(type) != std::string_view::npos;
    };
    MAVU_FUZZ_CHECK(level != ThermalState::critical || names("critical") || names("hot"));
    MAVU_FUZZ_CHECK(level != ThermalState::serious || names("passive"));
    MAVU_FUZZ_CHECK(level != ThermalState::fair || names("active"));

    // One zone past its critical trip makes the machine critical, whatever the others say.
    mavu::fuzz::writeBytes(zones / "thermal_zone+hot/temp", "120000\n");
    mavu::fuzz::writeBytes(zones / "thermal_zone+hot/trip_point_0_type", "critical\n");
    mavu::fuzz::writeBytes(zones / "thermal_zone+hot/trip_point_0_temp", "105000\n");
    MAVU_FUZZ_CHECK(mavu::hardware::SysfsThermalSource(root).thermalState() ==
                    ThermalState::critical);
}
