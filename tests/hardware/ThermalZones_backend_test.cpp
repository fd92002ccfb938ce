#include <gtest/gtest.h>

#include <string>

#include "platform/hardware/SysfsThermalSource.h"
#include "tests/support/TempDir.h"

namespace mavu::hardware {
namespace {

class ThermalZones : public ::testing::Test {
  protected:
    // Writes one file of thermal zone index.
    void zone(int index, const std::string& file, const std::string& text) {
        tree.write("sys/class/thermal/thermal_zone" + std::to_string(index) + "/" + file, text);
    }
    // A zone shaped like a laptop's ACPI zone: power-off at 105 °C, throttling at 90 °C,
    // fan at 60 °C.
    void addLaptopZone(int index, const std::string& temp) {
        zone(index, "temp", temp);
        const char* trips[][2] = {
            {"critical\n", "105000\n"}, {"passive\n", "90000\n"}, {"active\n", "60000\n"}};
        for (int trip = 0; trip < 3; ++trip) {
            zone(index, "trip_point_" + std::to_string(trip) + "_type", trips[trip][0]);
            zone(index, "trip_point_" + std::to_string(trip) + "_temp", trips[trip][1]);
        }
    }
    ThermalState state() const { return SysfsThermalSource(tree.root()).thermalState(); }

    testing::TempDir tree;
};

TEST_F(ThermalZones, EachTripGivesItsLevel) {
    // Within five degrees of the power-off point counts as critical already.
    const std::pair<const char*, ThermalState> cases[] = {
        {"45000\n", ThermalState::nominal},   {"60000\n", ThermalState::fair},
        {"90000\n", ThermalState::serious},   {"99999\n", ThermalState::serious},
        {"100000\n", ThermalState::critical}, {"110000\n", ThermalState::critical},
    };
    for (const auto& [temp, level] : cases) {
        addLaptopZone(0, temp);
        EXPECT_EQ(state(), level) << temp;
    }
}

TEST_F(ThermalZones, TheHottestZoneDecides) {
    EXPECT_EQ(state(), ThermalState::nominal);  // no zones at all
    addLaptopZone(0, "40000\n");
    addLaptopZone(1, "92000\n");
    addLaptopZone(2, "61000\n");
    EXPECT_EQ(state(), ThermalState::serious);
    // A hot trip is critical once reached, without the margin.
    zone(3, "trip_point_0_type", "hot\n");
    zone(3, "trip_point_0_temp", "95000\n");
    zone(3, "temp", "94000\n");
    EXPECT_EQ(state(), ThermalState::serious);
    zone(3, "temp", "95000\n");
    EXPECT_EQ(state(), ThermalState::critical);
}

TEST_F(ThermalZones, UnreadableZonesAndTripsAreSkipped) {
    addLaptopZone(0, "garbage\n");
    addLaptopZone(1, "");
    addLaptopZone(2, "70000\n");
    // Zone 3 has no temperature at all.
    zone(3, "trip_point_0_type", "critical\n");
    zone(3, "trip_point_0_temp", "1000\n");
    // Zone 4 is hot enough for its critical trip, but the trip's temperature is garbage,
    // missing, or an unused slot reported as zero; its last trip has an unknown type.
    zone(4, "temp", "104000\n");
    zone(4, "trip_point_0_type", "critical\n");
    zone(4, "trip_point_0_temp", "105 C\n");
    zone(4, "trip_point_1_type", "critical\n");
    zone(4, "trip_point_2_type", "critical\n");
    zone(4, "trip_point_2_temp", "0\n");
    zone(4, "trip_point_3_type", "sizzling\n");
    zone(4, "trip_point_3_temp", "50000\n");
    EXPECT_EQ(state(), ThermalState::fair);
}

}  // namespace
}  // namespace mavu::hardware
