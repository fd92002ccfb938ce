#include "platform/hardware/SysfsThermalSource.h"

#include <algorithm>
#include <string>

#include "platform/hardware/SysfsValue.h"

namespace mavu::hardware {

namespace {

// The kernel powers the machine off at a critical trip; we let go this much before it.
constexpr long long kCriticalMarginMilliCelsius = 5000;

ThermalState levelForTrip(const std::string& type, long long temp, long long trip) {
    if (type == "critical" && temp >= trip - kCriticalMarginMilliCelsius) {
        return ThermalState::critical;
    }
    if (type == "hot" && temp >= trip) {
        return ThermalState::critical;
    }
    if (type == "passive" && temp >= trip) {
        return ThermalState::serious;
    }
    if (type == "active" && temp >= trip) {
        return ThermalState::fair;
    }
    return ThermalState::nominal;
}

ThermalState zoneLevel(const std::filesystem::path& zone) {
    const auto temp = readSysfsInteger(zone / "temp");
    if (!temp) {
        return ThermalState::nominal;
    }
    ThermalState level = ThermalState::nominal;
    for (const auto& typeFile : listEntries(zone, "trip_point_")) {
        const std::string name = typeFile.filename().string();
        constexpr std::string_view suffix = "_type";
        if (!name.ends_with(suffix)) {
            continue;
        }
        const std::string stem = name.substr(0, name.size() - suffix.size());
        const auto type = readSysfsText(typeFile);
        const auto trip = readSysfsInteger(zone / (stem + "_temp"));
        // Firmware reports unused trip points as 0 or below; they are not thresholds.
        if (!type || !trip || *trip <= 0) {
            continue;
        }
        level = std::max(level, levelForTrip(*type, *temp, *trip));
    }
    return level;
}

}  // namespace

SysfsThermalSource::SysfsThermalSource(std::filesystem::path hardwareRoot)
    : zonesDir_(std::move(hardwareRoot) / "sys/class/thermal") {}

ThermalState SysfsThermalSource::thermalState() const {
    ThermalState level = ThermalState::nominal;
    for (const auto& zone : listEntries(zonesDir_, "thermal_zone")) {
        level = std::max(level, zoneLevel(zone));
    }
    return level;
}

}  // namespace mavu::hardware
