#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/hardware/SysfsThermalSource.h"
#include "tests/support/TempDir.h"

namespace mavu::hardware {
namespace {

// A zone: its temperature file ("-": none) and its trip points as type and temperature
// ("-": no such file).
struct Zone {
    const char* temp;
    std::vector<std::pair<const char*, const char*>> trips;
};
// Shaped like a laptop's ACPI zone: power-off at 105 °C, throttling at 90 °C, fan at 60 °C.
Zone laptop(const char* temp) {
    return {temp, {{"critical", "105000"}, {"passive", "90000"}, {"active", "60000"}}};
}

TEST(ThermalZones, TheHottestReadableZoneDecidesByItsTrips) {
    const std::pair<std::vector<Zone>, ThermalState> cases[] = {
        {{}, ThermalState::nominal},
        {{laptop("45000")}, ThermalState::nominal},
        {{laptop("60000")}, ThermalState::fair},
        {{laptop("90000")}, ThermalState::serious},
        {{laptop("99999")}, ThermalState::serious},
        // Within five degrees of the power-off point counts as critical already.
        {{laptop("100000")}, ThermalState::critical},
        {{laptop("40000"), laptop("92000"), laptop("61000")}, ThermalState::serious},
        // A hot trip is critical once reached, without the margin.
        {{{"94000", {{"hot", "95000"}}}}, ThermalState::nominal},
        {{{"95000", {{"hot", "95000"}}}}, ThermalState::critical},
        // Unreadable zones and trips are skipped: garbage, missing, an unused slot
        // reported as zero, an unknown type.
        {{laptop("garbage"),
          laptop(""),
          laptop("70000"),
          {"-", {{"critical", "1000"}}},
          {"104000",
           {{"critical", "105 C"}, {"critical", "-"}, {"critical", "0"}, {"sizzling", "50000"}}}},
         ThermalState::fair},
    };
    for (const auto& [zones, expected] : cases) {
        testing::TempDir tree;
        for (std::size_t i = 0; i < zones.size(); ++i) {
            const std::string zone = "sys/class/thermal/thermal_zone" + std::to_string(i) + "/";
            if (std::string(zones[i].temp) != "-") {
                tree.write(zone + "temp", std::string(zones[i].temp) + "\n");
            }
            for (std::size_t t = 0; t < zones[i].trips.size(); ++t) {
                const auto [type, temp] = zones[i].trips[t];
                const std::string trip = zone + "trip_point_" + std::to_string(t);
                tree.write(trip + "_type", std::string(type) + "\n");
                if (std::string(temp) != "-") {
                    tree.write(trip + "_temp", std::string(temp) + "\n");
                }
            }
        }
        EXPECT_EQ(SysfsThermalSource(tree.path()).thermalState(), expected)
            << zones.size() << " zones, the first at " << (zones.empty() ? "" : zones[0].temp);
    }
}

}  // namespace
}  // namespace mavu::hardware
